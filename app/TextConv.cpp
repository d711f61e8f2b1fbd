#include "app/TextConv.h"

#include <QFile>
#include <QStringDecoder>

QString ToDisplay(const std::string& text) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString result = decoder.decode(QByteArrayView(text.data(), qsizetype(text.size())));
    if (!decoder.hasError()) return result;
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

std::string ToLocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}
