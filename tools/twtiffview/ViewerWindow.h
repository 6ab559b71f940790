#pragma once
// The viewer's window: the page list with thumbnails on the left, the page on the right.
#include "FaxImage.h"

#include <QMainWindow>
#include <QPixmap>

class QAction;
class QLabel;
class QListWidget;
class QPagedPaintDevice;
class QPainter;
class QScrollArea;

class CViewerWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit CViewerWindow(QWidget* parent = nullptr);

    // Shows the file's first page; false (with a message when `interactive`) when it cannot.
    // `title` is the document's name for the window title; the file name when empty.
    bool OpenFile(const QString& path, bool interactive = true, const QString& title = {});
    int PageCount() const { return m_image.PageCount(); }
    int CurrentPage() const { return m_page; }
    void ShowPage(int index);
    void NextPage() { ShowPage(m_page + 1); }
    void PreviousPage() { ShowPage(m_page - 1); }

    void SetFitWidth(bool on);
    bool FitWidth() const { return m_fitWidth; }
    void ZoomIn();
    void ZoomOut();
    double Zoom() const { return m_zoom; }
    void RotateRight();
    void RotateLeft();
    int Rotation() const { return m_rotation; }

    // The shown page's size on screen: pixels corrected for the fax resolution, zoomed, rotated.
    QSize DisplayedSize() const;
    // Writes every page into a PDF; false when the file cannot be written.
    bool SaveAsPdf(const QString& path);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateActions();
    void FillThumbnails();
    void Render();
    void UpdateActions();
    void OnOpen();
    void OnPrint();
    void OnSavePdf();
    bool PaintPages(QPagedPaintDevice& device, QPainter& painter);

    CFaxImage m_image;
    FaxPage m_current;
    QString m_path;
    int m_page = -1;
    double m_zoom = 1.0;
    bool m_fitWidth = true;
    int m_rotation = 0; // degrees clockwise, a multiple of 90

    QListWidget* m_thumbs = nullptr;
    QScrollArea* m_scroll = nullptr;
    QLabel* m_view = nullptr;
    QLabel* m_pageLabel = nullptr;
    QAction* m_prev = nullptr;
    QAction* m_next = nullptr;
    QAction* m_fit = nullptr;
    QAction* m_print = nullptr;
    QAction* m_pdf = nullptr;
};
