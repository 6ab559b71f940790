#include "FaxImage.h"

#include <QCoreApplication>
#include <cstdint>
#include <tiffio.h>
#include <vector>

namespace {
// Larger pages than this are not fax pages; refuse them before allocating anything.
constexpr std::uint64_t kMaxPixels = 200'000'000;
} // namespace

struct CFaxImage::Impl {
    TIFF* tif = nullptr;
};

CFaxImage::CFaxImage() : m_impl(std::make_unique<Impl>()) {}

CFaxImage::~CFaxImage() {
    Close();
}

void CFaxImage::Close() {
    if (m_impl->tif != nullptr) {
        TIFFClose(m_impl->tif);
        m_impl->tif = nullptr;
    }
    m_pages = 0;
}

bool CFaxImage::Open(const QString& path, QString& error) {
    Close();
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    m_impl->tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
    if (m_impl->tif == nullptr) {
        error = QCoreApplication::translate("CFaxImage",
                                            "файл не является изображением TIFF или недоступен");
        return false;
    }
    m_pages = TIFFNumberOfDirectories(m_impl->tif);
    if (m_pages <= 0) {
        error = QCoreApplication::translate("CFaxImage", "в файле нет страниц");
        Close();
        return false;
    }
    return true;
}

FaxPage CFaxImage::ReadPage(int index) const {
    FaxPage page;
    TIFF* tif = m_impl->tif;
    if (tif == nullptr || index < 0 || index >= m_pages ||
        !TIFFSetDirectory(tif, static_cast<tdir_t>(index))) {
        return page;
    }
    std::uint32_t w = 0, h = 0;
    std::uint16_t bits = 1, samples = 1, photometric = PHOTOMETRIC_MINISWHITE, unit = RESUNIT_INCH;
    float xres = 0, yres = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (w == 0 || h == 0 || std::uint64_t{w} * h > kMaxPixels) {
        return page;
    }
    if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres) &&
        TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres) && xres > 0 && yres > 0) {
        double scale = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
        page.xdpi = xres * scale;
        page.ydpi = yres * scale;
    } else {
        page.xdpi = page.ydpi = 0;
    }

    if (bits == 1 && samples == 1 && !TIFFIsTiled(tif) &&
        (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK)) {
        // Bilevel pages go straight into a 1-bit image: an eighth of the memory of RGBA.
        QImage image(static_cast<int>(w), static_cast<int>(h), QImage::Format_Mono);
        if (image.isNull()) {
            return page;
        }
        QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
        image.setColorTable(photometric == PHOTOMETRIC_MINISWHITE ? QList<QRgb>{white, black}
                                                                  : QList<QRgb>{black, white});
        tmsize_t lineBytes = TIFFScanlineSize(tif);
        if (lineBytes <= 0 || lineBytes > image.bytesPerLine()) {
            return page;
        }
        for (std::uint32_t row = 0; row < h; ++row) {
            if (TIFFReadScanline(tif, image.scanLine(static_cast<int>(row)), row, 0) < 0) {
                return page;
            }
        }
        page.image = std::move(image);
        return page;
    }

    std::vector<std::uint32_t> rgba(std::size_t{w} * h);
    if (!TIFFReadRGBAImageOriented(tif, w, h, rgba.data(), ORIENTATION_TOPLEFT, 0)) {
        return page;
    }
    QImage image(static_cast<int>(w), static_cast<int>(h), QImage::Format_RGB32);
    if (image.isNull()) {
        return page;
    }
    for (std::uint32_t row = 0; row < h; ++row) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(row)));
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint32_t px = rgba[std::size_t{row} * w + x];
            unsigned a = TIFFGetA(px);
            // Transparent parts show as paper.
            auto on = [a](unsigned c) { return static_cast<int>((c * a + 255 * (255 - a)) / 255); };
            line[x] = qRgb(on(TIFFGetR(px)), on(TIFFGetG(px)), on(TIFFGetB(px)));
        }
    }
    page.image = std::move(image);
    return page;
}
