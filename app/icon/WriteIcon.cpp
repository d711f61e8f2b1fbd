// Writes the program's icon as a PNG for the desktop's menu, and the Windows window's pictures
// (the image list as one 32-bit bitmap strip and the program's icon as an .ico), from the same
// drawing the Qt window uses.
#include "app/Images.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {
void Put16(QByteArray& out, uint16_t v) {
    out.append(char(v & 0xFF)).append(char(v >> 8));
}
void Put32(QByteArray& out, uint32_t v) {
    Put16(out, uint16_t(v & 0xFFFF));
    Put16(out, uint16_t(v >> 16));
}

void InfoHeader(QByteArray& out, int width, int height, uint32_t imageSize) {
    Put32(out, 40);
    Put32(out, uint32_t(width));
    Put32(out, uint32_t(height));
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, 0); // BI_RGB: the fourth byte of each pixel is its alpha
    Put32(out, imageSize);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
}

// Bottom-up rows of straight (not premultiplied) BGRA.
QByteArray Pixels(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    QByteArray out;
    for (int y = image.height() - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            Put32(out, line[x]);
    }
    return out;
}

QImage Picture(int index, int size) {
    const QIcon& icon = index < 0 ? ProgramIcon() : ImageListIcon(index);
    return icon.pixmap(size, size).toImage().scaled(size, size);
}

QByteArray Strip() {
    QImage strip(16 * imgCount, 16, QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    for (int i = 0; i < imgCount; ++i) {
        const QImage one = Picture(i, 16).convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                strip.setPixel(i * 16 + x, y, one.pixel(x, y));
    }
    const QByteArray pixels = Pixels(strip);
    QByteArray out("BM");
    Put32(out, uint32_t(14 + 40 + pixels.size()));
    Put32(out, 0);
    Put32(out, 14 + 40);
    InfoHeader(out, strip.width(), strip.height(), uint32_t(pixels.size()));
    return out + pixels;
}

QByteArray Icon() {
    const std::vector<int> sizes = {16, 32, 48};
    std::vector<QByteArray> images;
    for (const int size : sizes) {
        const QImage image = Picture(-1, size).convertToFormat(QImage::Format_ARGB32);
        QByteArray data;
        const QByteArray pixels = Pixels(image);
        // The AND mask, one bit per pixel in rows of whole 32-bit words: set where transparent.
        const int stride = ((size + 31) / 32) * 4;
        QByteArray mask(stride * size, '\0');
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if (qAlpha(image.pixel(x, size - 1 - y)) == 0)
                    mask[y * stride + x / 8] = char(mask[y * stride + x / 8] | (0x80 >> (x % 8)));
        InfoHeader(data, size, size * 2, uint32_t(pixels.size() + mask.size()));
        images.push_back(data + pixels + mask);
    }
    QByteArray out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, uint16_t(sizes.size()));
    uint32_t offset = 6 + 16 * uint32_t(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        out.append(char(sizes[i])).append(char(sizes[i])).append('\0').append('\0');
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, uint32_t(images[i].size()));
        Put32(out, offset);
        offset += uint32_t(images[i].size());
    }
    for (const QByteArray& image : images)
        out += image;
    return out;
}

bool Write(const char* path, const QByteArray& bytes) {
    QFile file(QString::fromLocal8Bit(path));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc == 4 && QString(argv[1]) == "--win32") {
        if (!Write(argv[2], Strip()) || !Write(argv[3], Icon())) {
            std::fprintf(stderr, "cannot write %s or %s\n", argv[2], argv[3]);
            return 1;
        }
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SIZE FILE.png | --win32 IMAGES.bmp ICON.ico\n", argv[0]);
        return 2;
    }
    const int size = QString(argv[1]).toInt();
    if (size <= 0 || !ProgramIcon().pixmap(size, size).save(argv[2], "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
