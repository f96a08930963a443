#include "platform/image/GifReader.h"

#include <algorithm>
#include <cstring>
#include <gif_lib.h>

namespace kova::platform {

GifReader::GifReader(QByteArrayView head, QByteArrayView tail)
    : m_head(head), m_tail(tail)
{
}

GifReader::~GifReader()
{
    if (m_file) {
        int error = 0;
        DGifCloseFile(m_file, &error);
    }
}

bool GifReader::open()
{
    if (m_file)
        return true;
    int error = 0;
    m_file = DGifOpen(this, &GifReader::read, &error);
    return m_file != nullptr;
}

int GifReader::read(GifFileType *file, unsigned char *buffer, int length)
{
    auto *self = static_cast<GifReader *>(file->UserData);
    if (!self || length <= 0)
        return 0;
    int copied = 0;
    while (copied < length) {
        const qsizetype position = self->m_position;
        const QByteArrayView &part = position < self->m_head.size() ? self->m_head : self->m_tail;
        const qsizetype offset = position < self->m_head.size() ? position : position - self->m_head.size();
        const qsizetype available = part.size() - offset;
        if (available <= 0)
            break;
        const qsizetype chunk = std::min<qsizetype>(available, length - copied);
        std::memcpy(buffer + copied, part.data() + offset, size_t(chunk));
        copied += int(chunk);
        self->m_position += chunk;
    }
    return copied;
}

bool GifReader::skipSubBlocks()
{
    const qsizetype total = m_head.size() + m_tail.size();
    auto byteAt = [this](qsizetype position) {
        return position < m_head.size() ? static_cast<unsigned char>(m_head[position])
                                        : static_cast<unsigned char>(m_tail[position - m_head.size()]);
    };
    for (;;) {
        if (m_position >= total)
            return false;
        const unsigned char length = byteAt(m_position);
        ++m_position;
        if (length == 0)
            return true;
        if (total - m_position < length) {
            m_position = total;
            return false;
        }
        m_position += length;
    }
}

} // namespace kova::platform
