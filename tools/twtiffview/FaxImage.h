#pragma once
// Reading the pages of a multi-page fax image with libtiff (Qt's own TIFF plugin may be
// missing, and it knows nothing of fax resolutions).
#include <QImage>
#include <QString>
#include <memory>

struct FaxPage {
    QImage image;
    double xdpi = 204;
    double ydpi = 196;
    // How much taller each pixel is than wide: 2 for a standard-resolution fax page.
    double AspectRatio() const { return xdpi > 0 && ydpi > 0 ? xdpi / ydpi : 1.0; }
};

class CFaxImage {
public:
    CFaxImage();
    ~CFaxImage();
    CFaxImage(const CFaxImage&) = delete;
    CFaxImage& operator=(const CFaxImage&) = delete;

    // Opens the file; false with `error` set when it is not a readable TIFF image.
    bool Open(const QString& path, QString& error);
    void Close();
    int PageCount() const { return m_pages; }
    // Reads page `index` (0-based). A null image when that page cannot be decoded.
    FaxPage ReadPage(int index) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    int m_pages = 0;
};
