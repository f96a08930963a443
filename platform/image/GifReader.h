#pragma once

#include <QByteArrayView>

struct GifFileType;

namespace kova::platform {

// One giflib decoding session over bytes already in memory. The bytes are read
// as the concatenation of `head` and `tail`, which lets a single frame be
// decoded on its own: the file's header and global palette followed by that
// frame's records, without copying either. The bytes must outlive the reader.
class GifReader {
public:
    explicit GifReader(QByteArrayView head, QByteArrayView tail = {});
    ~GifReader();
    GifReader(const GifReader &) = delete;
    GifReader &operator=(const GifReader &) = delete;

    // Reads the header, screen descriptor and global palette; false when the
    // bytes are not a readable GIF.
    bool open();
    GifFileType *file() const { return m_file; }
    // Bytes handed to giflib so far.
    qsizetype position() const { return m_position; }
    // Steps over a run of data sub-blocks and their terminator without giflib,
    // for data giflib has refused to read; false when the bytes end first.
    bool skipSubBlocks();

private:
    static int read(GifFileType *file, unsigned char *buffer, int length);

    QByteArrayView m_head;
    QByteArrayView m_tail;
    qsizetype m_position = 0;
    GifFileType *m_file = nullptr;
};

} // namespace kova::platform
