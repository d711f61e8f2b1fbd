#include "app/TextConv.h"

#include "cab/PlainText.h"

#include <QCollator>
#include <QFile>
#include <QLocale>
#include <QStringDecoder>
#include <algorithm>
#include <numeric>
#include <vector>

namespace {
// Control characters become visible escapes, as the text report shows them; decoded first, so
// that the bytes of a UTF-8 letter are never taken for controls.
QString Visible(QString text) {
    const auto control = [](QChar c) { return c.unicode() < 0x100 && IsControlByte(c.unicode()); };
    if (std::none_of(text.cbegin(), text.cend(), control)) return text;
    QString shown;
    shown.reserve(text.size() + 16);
    for (const QChar c : text) {
        if (control(c))
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}
} // namespace

QString ToDisplay(const std::string& text) {
    // Nearly every text of a setup is plain printable ASCII: it needs neither decoding nor
    // escaping, and a list converts tens of thousands of them when a setup opens.
    if (std::all_of(text.begin(), text.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return (byte >= 0x20 && byte < 0x7F) || byte == '\t';
        }))
        return QString::fromLatin1(text.data(), qsizetype(text.size()));
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString result = decoder.decode(QByteArrayView(text.data(), qsizetype(text.size())));
    if (!decoder.hasError()) return Visible(std::move(result));
    return Visible(QString::fromLatin1(text.data(), qsizetype(text.size())));
}

std::string ToLocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

TReportOptions WindowReportOptions() {
    TReportOptions options;
    options.DecimalSeparator = QLocale().decimalPoint().toStdString();
    // Each caption's collation key is made once; comparing keys is much cheaper than collating
    // the texts at every step of the sort.
    options.Order = [](const std::vector<std::string>& captions) {
        const QCollator collator{QLocale()};
        std::vector<QCollatorSortKey> keys;
        keys.reserve(captions.size());
        for (const std::string& caption : captions)
            keys.push_back(collator.sortKey(ToDisplay(caption)));
        std::vector<size_t> order(captions.size());
        std::iota(order.begin(), order.end(), size_t{0});
        std::stable_sort(order.begin(), order.end(),
                         [&keys](size_t a, size_t b) { return keys[a].compare(keys[b]) < 0; });
        return order;
    };
    return options;
}
