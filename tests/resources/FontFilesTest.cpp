#include <QFile>
#include <QSet>
#include <QtEndian>
#include <gtest/gtest.h>

#include "platform/foundation/Bundle.h"

using kova::platform::Bundle;

namespace {

const QStringList kFontNames = {
    "Muli-Black",      "Muli-BlackItalic",      "Muli-Bold",       "Muli-BoldItalic",
    "Muli-ExtraBold",  "Muli-ExtraBoldItalic",  "Muli-ExtraLight", "Muli-ExtraLightItalic",
    "Muli-Italic",     "Muli-Light",            "Muli-LightItalic", "Muli-Medium",
    "Muli-MediumItalic", "Muli-Regular",        "Muli-SemiBold",   "Muli-SemiBoldItalic",
};

// Just enough of the TrueType container to check that a file is a whole,
// plain TrueType font (not WOFF, not cut short) and to read its names.
class TrueTypeFile {
public:
    explicit TrueTypeFile(QByteArray data) : m_data(std::move(data)) { parse(); }

    const QString &problem() const { return m_problem; }
    bool hasTable(const char *tag) const { return m_tables.contains(QByteArray(tag)); }
    quint32 headMagic() const
    {
        const auto head = m_tables.value("head");
        return head.second >= 16 ? u32(head.first + 12) : 0;
    }
    // The Windows (Unicode) or Macintosh (Roman) record of a name ID.
    QString name(quint16 id) const
    {
        const auto table = m_tables.value("name");
        if (table.second < 6)
            return {};
        const quint32 base = table.first;
        const quint16 count = u16(base + 2);
        const quint32 strings = base + u16(base + 4);
        QString mac;
        for (quint32 i = 0; i < count; ++i) {
            const quint32 record = base + 6 + 12 * i;
            if (record + 12 > base + table.second)
                break;
            const quint16 platform = u16(record), encoding = u16(record + 2), nameId = u16(record + 6);
            const quint16 length = u16(record + 8), offset = u16(record + 10);
            if (nameId != id || quint64(strings) + offset + length > quint64(m_data.size()))
                continue;
            const char *bytes = m_data.constData() + strings + offset;
            if (platform == 3 && (encoding == 1 || encoding == 0)) {
                QString text;
                for (int k = 0; k + 1 < length; k += 2)
                    text.append(QChar(qFromBigEndian<quint16>(bytes + k)));
                return text;
            }
            if (platform == 1 && encoding == 0)
                mac = QString::fromLatin1(bytes, length);
        }
        return mac;
    }

private:
    quint16 u16(quint32 at) const { return qFromBigEndian<quint16>(m_data.constData() + at); }
    quint32 u32(quint32 at) const { return qFromBigEndian<quint32>(m_data.constData() + at); }

    void parse()
    {
        if (m_data.size() < 12) {
            m_problem = "shorter than a font header";
            return;
        }
        if (u32(0) != 0x00010000u && m_data.left(4) != "true") {
            m_problem = "not a TrueType file: starts with " + QString::fromLatin1(m_data.left(4).toHex());
            return;
        }
        const quint16 count = u16(4);
        if (12 + 16 * quint64(count) > quint64(m_data.size())) {
            m_problem = "table directory runs past the end";
            return;
        }
        for (quint16 i = 0; i < count; ++i) {
            const quint32 record = 12 + 16 * i;
            const quint32 offset = u32(record + 8), length = u32(record + 12);
            if (quint64(offset) + length > quint64(m_data.size())) {
                m_problem = "table " + QString::fromLatin1(m_data.mid(record, 4)) + " runs past the end";
                return;
            }
            m_tables.insert(m_data.mid(record, 4), {offset, length});
        }
    }

    QByteArray m_data;
    QString m_problem;
    QHash<QByteArray, std::pair<quint32, quint32>> m_tables;
};

TEST(FontFiles, EveryMuliStyleIsAWholeTrueTypeFontOfThatName)
{
    QSet<QString> copyrights;
    for (const QString &name : kFontNames) {
        SCOPED_TRACE(name.toStdString());
        const QString path = Bundle::framework()->pathForResource(name, "ttf");
        ASSERT_FALSE(path.isEmpty()) << "no " << name.toStdString() << ".ttf in the framework bundle";
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const TrueTypeFile font(file.readAll());
        ASSERT_TRUE(font.problem().isEmpty()) << font.problem().toStdString();
        for (const char *tag : {"cmap", "glyf", "head", "hhea", "hmtx", "loca", "maxp", "name", "post"})
            EXPECT_TRUE(font.hasTable(tag)) << "no " << tag << " table";
        EXPECT_EQ(font.headMagic(), 0x5F0F3CF5u);
        // The registration looks fonts up by file name and screens ask for
        // them by PostScript name: the two must be the same.
        EXPECT_EQ(font.name(6).toStdString(), name.toStdString());
        EXPECT_TRUE(font.name(1).startsWith("Muli")) << font.name(1).toStdString();
        copyrights.insert(font.name(0));
    }
    ASSERT_EQ(copyrights.size(), 1);

    // The Open Font License asks that the copyright notice and the licence
    // travel with the fonts.
    QFile licence(Bundle::framework()->pathForResource("Muli-OFL", "txt"));
    ASSERT_TRUE(licence.open(QIODevice::ReadOnly)) << "Muli-OFL.txt missing beside the fonts";
    const QString text = QString::fromUtf8(licence.readAll());
    EXPECT_TRUE(text.startsWith(*copyrights.begin())) << copyrights.begin()->toStdString();
    EXPECT_TRUE(text.contains("SIL OPEN FONT LICENSE Version 1.1"));
}

TEST(FontFiles, TheCheckerRefusesWhatIsNoFont)
{
    EXPECT_FALSE(TrueTypeFile(QByteArray()).problem().isEmpty());
    EXPECT_FALSE(TrueTypeFile(QByteArray("wOFF") + QByteArray(40, '\0')).problem().isEmpty());
    // A header that promises more tables than the file holds.
    QByteArray truncated(12, '\0');
    truncated[1] = 1;
    truncated[5] = 9;
    EXPECT_FALSE(TrueTypeFile(truncated).problem().isEmpty());
}

} // namespace
