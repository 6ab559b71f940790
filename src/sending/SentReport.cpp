#include "sending/SentReport.h"

#include "platform/Encoding.h"
#include "platform/Files.h"
#include "resources/Strings.h"
#include "service/JobState.h"

#include <algorithm>
#include <cairo-pdf.h>
#include <cairo.h>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <memory>
#include <ostream>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

namespace {

// Record texts are UTF-8 once read; anything else (a record built by hand) is taken as the
// code page, so cairo and CSV readers never meet broken UTF-8.
std::string Utf8(const std::string& text) {
    return platform::IsValidUtf8(text) ? text : platform::Cp1251ToUtf8(text);
}

std::string JobIdOf(const CFaxEntry& r) {
    return r.m_serverId.empty() ? std::to_string(r.m_faxId) : Utf8(r.m_serverId);
}

std::int64_t StateTimeOf(const CFaxEntry& r) {
    if (r.m_lastAttempt != 0) {
        return r.m_lastAttempt;
    }
    return r.m_attempts.empty() ? 0 : r.m_attempts.back().m_time;
}

CReportRow RowOf(const CFaxEntryBase& entry, const CFaxEntry& r, std::string imagePath) {
    CReportRow row;
    row.title = Utf8(entry.m_title);
    row.number = Utf8(r.m_recipient);
    row.contact = Utf8(r.m_recipientLabel);
    row.pages = r.m_pages;
    row.jobId = JobIdOf(r);
    row.submitted = r.m_created != 0 ? r.m_created : entry.m_time;
    row.state = r.m_status;
    row.stateText = ReportStateText(r.m_status);
    row.stateTime = StateTimeOf(r);
    row.imagePath = std::move(imagePath);
    return row;
}

std::string ImageOf(const CAttach& attach, const std::string& storeDir) {
    return attach.StoreName().empty() ? std::string() : FileInStore(storeDir, attach.StoreName());
}

// The labels of a recipient's page, the fields of the CSV header.
std::vector<std::string> ColumnNames() {
    std::vector<std::string> names;
    std::string_view all = LoadString(kIdsReportColumns);
    std::size_t start = 0;
    while (start <= all.size()) {
        std::size_t comma = all.find(',', start);
        if (comma == std::string_view::npos) {
            comma = all.size();
        }
        names.emplace_back(all.substr(start, comma - start));
        start = comma + 1;
    }
    names.resize(8);
    return names;
}

void CsvField(std::ostream& out, const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out << text;
        return;
    }
    out << '"';
    for (char c : text) {
        if (c == '"') {
            out << '"';
        }
        out << c;
    }
    out << '"';
}

// ---- the thumbnail of a fax image's first page ----

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using UniqueTiff = std::unique_ptr<TIFF, TiffCloser>;

struct SurfaceDestroyer {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using UniqueSurface = std::unique_ptr<cairo_surface_t, SurfaceDestroyer>;

// A report is not the place for libtiff's complaints: a page that does not decode gets a
// notice on its page instead.
int QuietTiff(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

constexpr int kThumbMaxWidth = 600;
constexpr int kThumbMaxHeight = 850;
// A page of more pixels than this (an A4 fax page has about 4 million) is not decoded whole.
constexpr std::uint64_t kMaxRgbaPixels = std::uint64_t{25} << 20;
// A bilevel page is read a row at a time, but a claim of more pixels than this (60 times an
// A4 fax page) is a damaged file, not a page worth the time.
constexpr std::uint64_t kMaxPagePixels = std::uint64_t{256} << 20;
constexpr tmsize_t kMaxTiffAlloc = tmsize_t{256} << 20;

struct CThumbnail {
    UniqueSurface surface; // null: show `notice` instead
    double aspect = 1.4;   // height / width on paper
    std::string notice;
};

// Area-averages source pixels into a grey thumbnail, one source row at a time, so a page is
// never held whole when it need not be.
class CShrinker {
public:
    CShrinker(std::uint32_t width, std::uint32_t height, int tw, int th)
        : m_height(height), m_th(th),
          m_surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, tw, th)), m_column(width),
          m_cellWidth(static_cast<std::size_t>(tw)), m_dark(static_cast<std::size_t>(tw)) {
        for (std::uint32_t x = 0; x < width; ++x) {
            m_column[x] =
                static_cast<int>(std::uint64_t{x} * static_cast<std::uint64_t>(tw) / width);
            ++m_cellWidth[static_cast<std::size_t>(m_column[x])];
        }
    }
    bool Ok() const { return cairo_surface_status(m_surface.get()) == CAIRO_STATUS_SUCCESS; }
    // `darkness` of source pixel x of row y, 0 (white) .. 255 (black); rows in order.
    void BeginRow(std::uint32_t y) {
        const int ty =
            static_cast<int>(std::uint64_t{y} * static_cast<std::uint64_t>(m_th) / m_height);
        if (ty != m_row) {
            Flush();
            m_row = ty;
        }
        ++m_rows;
    }
    void Add(std::uint32_t x, unsigned darkness) {
        m_dark[static_cast<std::size_t>(m_column[x])] += darkness;
    }
    UniqueSurface Finish() {
        Flush();
        cairo_surface_mark_dirty(m_surface.get());
        return std::move(m_surface);
    }

private:
    void Flush() {
        if (m_row < 0 || m_rows == 0) {
            return;
        }
        cairo_surface_flush(m_surface.get());
        unsigned char* data = cairo_image_surface_get_data(m_surface.get());
        const int stride = cairo_image_surface_get_stride(m_surface.get());
        auto* out =
            reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(m_row) * stride);
        for (std::size_t tx = 0; tx < m_dark.size(); ++tx) {
            const std::uint64_t cells = m_cellWidth[tx] * m_rows;
            const std::uint32_t v =
                cells == 0 ? 255u : 255u - static_cast<std::uint32_t>(m_dark[tx] / cells);
            out[tx] = (v << 16) | (v << 8) | v;
            m_dark[tx] = 0;
        }
        m_rows = 0;
    }

    std::uint32_t m_height;
    int m_th;
    UniqueSurface m_surface;
    std::vector<int> m_column;
    std::vector<std::uint64_t> m_cellWidth;
    std::vector<std::uint64_t> m_dark;
    int m_row = -1;
    std::uint64_t m_rows = 0;
};

bool ReadBilevel(TIFF* tif, std::uint32_t width, std::uint32_t height, bool minIsWhite,
                 CShrinker& shrink) {
    std::vector<unsigned char> line(static_cast<std::size_t>(TIFFScanlineSize(tif)));
    if (line.size() < (width + 7) / 8) {
        return false;
    }
    const unsigned char white = minIsWhite ? 0x00 : 0xFF;
    for (std::uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(tif, line.data(), y, 0) < 0) {
            return false;
        }
        shrink.BeginRow(y);
        for (std::uint32_t byte = 0; byte < (width + 7) / 8; ++byte) {
            if (line[byte] == white) {
                continue;
            }
            for (std::uint32_t bit = 0; bit < 8; ++bit) {
                const std::uint32_t x = byte * 8 + bit;
                const bool set = x < width && ((line[byte] >> (7 - bit)) & 1) != 0;
                if (x < width && set == minIsWhite) {
                    shrink.Add(x, 255);
                }
            }
        }
    }
    return true;
}

bool ReadAnyPage(TIFF* tif, std::uint32_t width, std::uint32_t height, CShrinker& shrink) {
    if (std::uint64_t{width} * height > kMaxRgbaPixels) {
        return false;
    }
    std::vector<std::uint32_t> raster(std::size_t{width} * height);
    if (TIFFReadRGBAImageOriented(tif, width, height, raster.data(), ORIENTATION_TOPLEFT, 0) == 0) {
        return false;
    }
    for (std::uint32_t y = 0; y < height; ++y) {
        shrink.BeginRow(y);
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t p = raster[std::size_t{y} * width + x];
            const unsigned grey = (TIFFGetR(p) * 30 + TIFFGetG(p) * 59 + TIFFGetB(p) * 11) / 100;
            shrink.Add(x, 255 - grey);
        }
    }
    return true;
}

CThumbnail DecodeThumbnail(const std::string& path) {
    CThumbnail thumb;
    const int fd = path.empty() ? -1 : platform::OpenRegularFile(path, platform::kImageFileCap);
    if (fd < 0) {
        thumb.notice = LoadString(kIdsReportNoImage);
        return thumb;
    }
    thumb.notice = LoadString(kIdsReportBadImage);
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxTiffAlloc);
    TIFFOpenOptionsSetErrorHandlerExtR(options, QuietTiff, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, QuietTiff, nullptr);
    UniqueTiff tif(TIFFFdOpenExt(fd, path.c_str(), "r", options));
    TIFFOpenOptionsFree(options);
    if (!tif) {
        ::close(fd);
        return thumb;
    }
    std::uint32_t width = 0, height = 0;
    if (TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) != 1 ||
        TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height) != 1 || width == 0 || height == 0 ||
        std::uint64_t{width} * height > kMaxPagePixels) {
        return thumb;
    }
    float xres = 0, yres = 0;
    TIFFGetField(tif.get(), TIFFTAG_XRESOLUTION, &xres);
    TIFFGetField(tif.get(), TIFFTAG_YRESOLUTION, &yres);
    const bool square = !(xres > 0 && yres > 0 && std::isfinite(xres) && std::isfinite(yres));
    thumb.aspect =
        square ? double(height) / width : (height / double(yres)) / (width / double(xres));
    if (!(thumb.aspect > 0.01 && thumb.aspect < 100)) {
        return thumb;
    }
    const double s =
        std::min({1.0, double(kThumbMaxWidth) / width, double(kThumbMaxHeight) / height});
    const int tw = std::max(1, static_cast<int>(width * s));
    const int th = std::max(1, static_cast<int>(height * s));
    CShrinker shrink(width, height, tw, th);
    if (!shrink.Ok()) {
        return thumb;
    }
    std::uint16_t bits = 1, samples = 1, photometric = PHOTOMETRIC_MINISWHITE;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    const bool hasPhotometric = TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric) == 1;
    const bool bilevel = bits == 1 && samples == 1 && !TIFFIsTiled(tif.get()) &&
                         (!hasPhotometric || photometric == PHOTOMETRIC_MINISWHITE ||
                          photometric == PHOTOMETRIC_MINISBLACK);
    const bool read = bilevel ? ReadBilevel(tif.get(), width, height,
                                            photometric == PHOTOMETRIC_MINISWHITE, shrink)
                              : ReadAnyPage(tif.get(), width, height, shrink);
    if (read) {
        thumb.surface = shrink.Finish();
        thumb.notice.clear();
    }
    return thumb;
}

// ---- the PDF ----

constexpr double kPageWidth = 595.276; // A4 in points
constexpr double kPageHeight = 841.89;
constexpr double kMargin = 50;
constexpr const char* kFont = "DejaVu Sans";

// Where cairo's PDF bytes go: the temporary file, remembering the first write error.
struct CPdfSink {
    int fd = -1;
    int error = 0;
};

cairo_status_t SinkWrite(void* closure, const unsigned char* data, unsigned int length) {
    auto* sink = static_cast<CPdfSink*>(closure);
    while (length > 0 && sink->error == 0) {
        const ssize_t n = ::write(sink->fd, data, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            sink->error = n < 0 ? errno : ENOSPC;
            break;
        }
        data += n;
        length -= static_cast<unsigned>(n);
    }
    return sink->error == 0 ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

// Control characters would show as boxes in a one-line field.
std::string OneLine(const std::string& text) {
    std::string out = text;
    std::replace_if(
        out.begin(), out.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
    return out;
}

// The file behind `path` and its version; "" when there is none.
std::string FileIdentity(const std::string& path) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        return {};
    }
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
           std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec);
}

class CPdfWriter {
public:
    explicit CPdfWriter(cairo_t* cr) : m_cr(cr), m_labels(ColumnNames()) {}

    void Summary(const CReportSection& section) {
        Heading(LoadString(kIdsReportSummaryTitle));
        double y = 110;
        y = Wrapped(m_labels[0] + ": " + OneLine(section.title), y, 12, 4);
        y = Line(
            FormatString(LoadString(kIdsReportRecipients), std::to_string(section.rows.size())),
            y + 6, 12);
        std::map<std::int32_t, std::size_t> perState;
        for (const CReportRow& row : section.rows) {
            ++perState[row.state];
        }
        y += 10;
        for (const auto& [state, count] : perState) {
            y = Line(ReportStateText(state) + ": " + std::to_string(count), y, 11);
            if (y > kPageHeight - kMargin) {
                break;
            }
        }
        cairo_show_page(m_cr);
    }

    void Recipient(const CReportRow& row) {
        const std::string identity = FileIdentity(row.imagePath);
        if (identity.empty()) {
            m_missing.notice = LoadString(kIdsReportNoImage);
        } else if (identity != m_thumbIdentity) {
            // One thumbnail at a time: a shared image (also one hard-linked under other names)
            // is decoded once for all its recipients and written to the PDF once, and memory
            // does not grow with the pages.
            m_thumb = DecodeThumbnail(row.imagePath);
            m_thumbIdentity = identity;
        }
        Heading(LoadString(kIdsReportPageTitle));
        const std::string values[] = {row.title,     row.number,
                                      row.contact,   std::to_string(row.pages),
                                      row.jobId,     ReportTime(row.submitted),
                                      row.stateText, ReportTime(row.stateTime)};
        double y = 100;
        for (std::size_t i = 0; i < std::size(values); ++i) {
            y = Field(m_labels[i], values[i], y, i == 0 ? 3 : 1);
        }
        Thumbnail(identity.empty() ? m_missing : m_thumb, y + 12);
        cairo_show_page(m_cr);
    }

private:
    void Font(double size, bool bold) {
        cairo_select_font_face(m_cr, kFont, CAIRO_FONT_SLANT_NORMAL,
                               bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(m_cr, size);
        cairo_set_source_rgb(m_cr, 0, 0, 0);
    }
    void Heading(std::string_view text) {
        Font(16, true);
        cairo_move_to(m_cr, kMargin, 65);
        cairo_show_text(m_cr, std::string(text).c_str());
    }
    double Line(const std::string& text, double y, double size) {
        Font(size, false);
        cairo_move_to(m_cr, kMargin, y);
        cairo_show_text(m_cr, text.c_str());
        return y + size * 1.45;
    }
    double Field(const std::string& label, const std::string& value, double y, int maxLines) {
        Font(10, true);
        cairo_move_to(m_cr, kMargin, y);
        cairo_show_text(m_cr, (label + ":").c_str());
        return Wrapped(OneLine(value), y, 10, maxLines, kMargin + 140);
    }
    // Breaks `text` at blanks (inside a word when it alone is too long) into at most
    // `maxLines` lines; the last one is cut with "…".
    double Wrapped(const std::string& text, double y, double size, int maxLines,
                   double x = kMargin) {
        Font(size, false);
        const double width = kPageWidth - kMargin - x;
        std::size_t pos = 0;
        for (int line = 0; line < maxLines && pos < text.size(); ++line) {
            std::size_t end = Fit(text, pos, width);
            const bool last = line + 1 == maxLines && end < text.size();
            std::string part = text.substr(pos, end - pos);
            if (last) {
                while (!part.empty() && Width(part + "…") > width) {
                    part.erase(Utf8Back(part, part.size()));
                }
                part += "…";
            }
            cairo_move_to(m_cr, x, y);
            cairo_show_text(m_cr, part.c_str());
            y += size * 1.45;
            pos = end;
            while (pos < text.size() && text[pos] == ' ') {
                ++pos;
            }
        }
        return text.empty() ? y + size * 1.45 : y;
    }
    double Width(const std::string& s) {
        cairo_text_extents_t e;
        cairo_text_extents(m_cr, s.c_str(), &e);
        return e.x_advance;
    }
    static std::size_t Utf8Back(const std::string& s, std::size_t end) {
        std::size_t i = end;
        do {
            --i;
        } while (i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80);
        return i;
    }
    // The end of the longest piece from `pos` that fits in `width`.
    std::size_t Fit(const std::string& text, std::size_t pos, double width) {
        if (Width(text.substr(pos)) <= width) {
            return text.size();
        }
        std::size_t best = 0;
        for (std::size_t sp = text.find(' ', pos); sp != std::string::npos;
             sp = text.find(' ', sp + 1)) {
            if (Width(text.substr(pos, sp - pos)) > width) {
                break;
            }
            best = sp;
        }
        if (best > pos) {
            return best;
        }
        std::size_t end = text.size();
        while (end > pos + 1 && Width(text.substr(pos, end - pos)) > width) {
            end = Utf8Back(text, end);
        }
        return std::max(end, pos + 1);
    }
    void Thumbnail(const CThumbnail& thumb, double top) {
        const double boxW = kPageWidth - 2 * kMargin;
        const double boxH = kPageHeight - kMargin - top;
        double w = boxW, h = boxW * thumb.aspect;
        if (h > boxH) {
            h = boxH;
            w = boxH / thumb.aspect;
        }
        const double x = kMargin + (boxW - w) / 2;
        cairo_save(m_cr);
        if (thumb.surface) {
            cairo_translate(m_cr, x, top);
            cairo_scale(m_cr, w / cairo_image_surface_get_width(thumb.surface.get()),
                        h / cairo_image_surface_get_height(thumb.surface.get()));
            cairo_set_source_surface(m_cr, thumb.surface.get(), 0, 0);
            cairo_pattern_set_filter(cairo_get_source(m_cr), CAIRO_FILTER_GOOD);
            cairo_paint(m_cr);
            cairo_restore(m_cr);
            cairo_save(m_cr);
        }
        cairo_set_source_rgb(m_cr, 0.4, 0.4, 0.4);
        cairo_set_line_width(m_cr, 0.8);
        cairo_rectangle(m_cr, x, top, w, h);
        cairo_stroke(m_cr);
        cairo_restore(m_cr);
        if (!thumb.surface) {
            Font(12, false);
            const double tw = Width(thumb.notice);
            cairo_move_to(m_cr, x + std::max(0.0, (w - tw) / 2), top + h / 2);
            cairo_show_text(m_cr, thumb.notice.c_str());
        }
    }

    cairo_t* m_cr;
    std::vector<std::string> m_labels;
    CThumbnail m_thumb;
    std::string m_thumbIdentity;
    CThumbnail m_missing;
};

std::string NotWritten(const std::string& path, int error) {
    return FormatString(LoadString(kIdsReportNotWritten), path, std::strerror(error));
}

} // namespace

std::string ReportStateText(std::int32_t state) {
    std::string text = JobStateText(state);
    return text.empty() ? std::string(LoadString(kIdsReportNoState)) : text;
}

std::string ReportTime(std::int64_t time) {
    if (time == 0) {
        return {};
    }
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm tm{};
    char buf[32];
    if (localtime_r(&t, &tm) == nullptr ||
        std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm) == 0) {
        return {};
    }
    return buf;
}

std::vector<CReportRow> ReportRowsOf(const CFaxEntryBase& entry, const std::string& storeDir) {
    std::vector<CReportRow> rows;
    if (const auto* single = dynamic_cast<const CSingleFaxEntry*>(&entry)) {
        rows.push_back(RowOf(entry, *single, ImageOf(*single, storeDir)));
    } else if (const auto* list = dynamic_cast<const CGroupFaxEntry*>(&entry)) {
        const std::string image = ImageOf(*list, storeDir);
        rows.reserve(list->m_recipients.size());
        for (const CFaxEntry& r : list->m_recipients) {
            rows.push_back(RowOf(entry, r, image));
        }
    } else if (const auto* personal = dynamic_cast<const CPersonalFaxEntry*>(&entry)) {
        rows.reserve(personal->m_recipients.size());
        for (const CAttachFaxEntry& r : personal->m_recipients) {
            rows.push_back(RowOf(entry, r, ImageOf(r, storeDir)));
        }
    }
    return rows;
}

CReportSection ReportSectionOf(const CFaxEntryBase& entry, const std::string& storeDir) {
    return {Utf8(entry.m_title), entry.GetType() != kTypeSingle, ReportRowsOf(entry, storeDir)};
}

bool WriteReportCsv(const std::vector<CReportRow>& rows, std::ostream& out) {
    const std::vector<std::string> names = ColumnNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i != 0) {
            out << ',';
        }
        CsvField(out, names[i]);
    }
    out << "\r\n";
    for (const CReportRow& row : rows) {
        CsvField(out, row.title);
        out << ',';
        CsvField(out, row.number);
        out << ',';
        CsvField(out, row.contact);
        out << ',' << row.pages << ',';
        CsvField(out, row.jobId);
        out << ',' << ReportTime(row.submitted) << ',';
        CsvField(out, row.stateText);
        out << ',' << ReportTime(row.stateTime) << "\r\n";
    }
    out.flush();
    return static_cast<bool>(out);
}

std::string WriteProofPdf(const std::vector<CReportSection>& sections, const std::string& pdfPath) {
    const bool any = std::any_of(sections.begin(), sections.end(),
                                 [](const CReportSection& s) { return !s.rows.empty(); });
    if (!any) {
        return std::string(LoadString(kIdsReportEmpty));
    }
    const std::string dir = platform::DirName(pdfPath);
    std::string temp =
        platform::JoinPath(dir.empty() ? "." : dir, "." + platform::BaseName(pdfPath) + ".XXXXXX");
    CPdfSink sink;
    sink.fd = ::mkstemp(temp.data());
    if (sink.fd < 0) {
        return NotWritten(pdfPath, errno);
    }
    struct stat st;
    const mode_t mode =
        ::stat(pdfPath.c_str(), &st) == 0 ? (st.st_mode & 07777) : platform::kPrivateFileMode;
    ::fchmod(sink.fd, mode);

    cairo_surface_t* surface =
        cairo_pdf_surface_create_for_stream(SinkWrite, &sink, kPageWidth, kPageHeight);
    cairo_t* cr = cairo_create(surface);
    {
        CPdfWriter writer(cr);
        for (const CReportSection& section : sections) {
            if (section.rows.empty()) {
                continue;
            }
            if (section.mass) {
                writer.Summary(section);
            }
            for (const CReportRow& row : section.rows) {
                writer.Recipient(row);
                if (sink.error != 0 || cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
                    break;
                }
            }
        }
    }
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    const cairo_status_t status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    int error = sink.error;
    if (error == 0 && status != CAIRO_STATUS_SUCCESS) {
        error = status == CAIRO_STATUS_NO_MEMORY ? ENOMEM : EIO;
    }
    if (error == 0 && ::fsync(sink.fd) != 0) {
        error = errno;
    }
    if (::close(sink.fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(temp.c_str(), pdfPath.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temp.c_str());
        return NotWritten(pdfPath, error);
    }
    return {};
}

std::string SaveProof(const std::vector<const CFaxEntryBase*>& entries, const std::string& storeDir,
                      const std::string& pdfPath) {
    std::vector<CReportSection> sections;
    sections.reserve(entries.size());
    for (const CFaxEntryBase* entry : entries) {
        if (entry != nullptr) {
            sections.push_back(ReportSectionOf(*entry, storeDir));
        }
    }
    return WriteProofPdf(sections, pdfPath);
}
