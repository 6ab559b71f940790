#include "ViewerWindow.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QTransform>
#include <algorithm>

namespace {
constexpr double kMinZoom = 0.05;
constexpr double kMaxZoom = 8.0;
constexpr int kThumbWidth = 96;

// The page as it looks on paper: standard-resolution pixels are twice as tall as wide.
QSize PhysicalPixels(const FaxPage& page) {
    return QSize(page.image.width(),
                 std::max(1, static_cast<int>(page.image.height() * page.AspectRatio() + 0.5)));
}
} // namespace

CViewerWindow::CViewerWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("TWTiffView"));
    m_view = new QLabel;
    m_view->setAlignment(Qt::AlignCenter);
    m_view->setBackgroundRole(QPalette::Base);
    m_scroll = new QScrollArea;
    m_scroll->setObjectName(QStringLiteral("pageArea"));
    m_scroll->setWidget(m_view);
    m_scroll->setWidgetResizable(false);
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setBackgroundRole(QPalette::Dark);
    // Fitting the width must not make the page tall enough to need a bar it did not leave room for.
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setCentralWidget(m_scroll);

    m_thumbs = new QListWidget;
    m_thumbs->setObjectName(QStringLiteral("pageList"));
    m_thumbs->setViewMode(QListView::IconMode);
    m_thumbs->setFlow(QListView::TopToBottom);
    m_thumbs->setWrapping(false);
    m_thumbs->setMovement(QListView::Static);
    m_thumbs->setIconSize(QSize(kThumbWidth, kThumbWidth * 3 / 2));
    m_thumbs->setSpacing(6);
    m_thumbs->setFixedWidth(kThumbWidth + 48);
    auto* dock = new QDockWidget(tr("Страницы"));
    dock->setObjectName(QStringLiteral("pagesDock"));
    dock->setFeatures(QDockWidget::DockWidgetMovable);
    dock->setWidget(m_thumbs);
    addDockWidget(Qt::LeftDockWidgetArea, dock);
    connect(m_thumbs, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row != m_page) {
            ShowPage(row);
        }
    });

    m_pageLabel = new QLabel;
    statusBar()->addPermanentWidget(m_pageLabel);
    CreateActions();
    UpdateActions();
    // Never larger than the screen, or the status bar falls below its edge.
    QSize size(1000, 800);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableGeometry().size() - QSize(16, 40));
    }
    resize(size);
}

void CViewerWindow::CreateActions() {
    QToolBar* bar = addToolBar(tr("Просмотр"));
    bar->setObjectName(QStringLiteral("viewBar"));
    auto add = [&](const QString& text, QKeySequence key, auto slot) {
        QAction* a = bar->addAction(text);
        a->setObjectName(text);
        a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    add(tr("Открыть..."), QKeySequence::Open, &CViewerWindow::OnOpen);
    m_print = add(tr("Печать..."), QKeySequence::Print, &CViewerWindow::OnPrint);
    m_pdf = add(tr("Сохранить как PDF..."), QKeySequence::SaveAs, &CViewerWindow::OnSavePdf);
    bar->addSeparator();
    m_prev = add(tr("Предыдущая"), QKeySequence(Qt::Key_PageUp), &CViewerWindow::PreviousPage);
    m_next = add(tr("Следующая"), QKeySequence(Qt::Key_PageDown), &CViewerWindow::NextPage);
    bar->addSeparator();
    m_fit = bar->addAction(tr("По ширине"));
    m_fit->setCheckable(true);
    m_fit->setChecked(m_fitWidth);
    connect(m_fit, &QAction::toggled, this, &CViewerWindow::SetFitWidth);
    add(tr("Увеличить"), QKeySequence::ZoomIn, &CViewerWindow::ZoomIn);
    add(tr("Уменьшить"), QKeySequence::ZoomOut, &CViewerWindow::ZoomOut);
    bar->addSeparator();
    add(tr("Повернуть влево"), QKeySequence(Qt::CTRL | Qt::Key_L), &CViewerWindow::RotateLeft);
    add(tr("Повернуть вправо"), QKeySequence(Qt::CTRL | Qt::Key_R), &CViewerWindow::RotateRight);
    // Closing from the keyboard, as in any viewer; not worth a toolbar button.
    auto* close = new QAction(tr("Закрыть"), this);
    QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Close);
    keys << QKeySequence::keyBindings(QKeySequence::Quit) << QKeySequence(Qt::Key_Escape);
    close->setShortcuts(keys);
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);
}

bool CViewerWindow::OpenFile(const QString& path, bool interactive, const QString& title) {
    QString error;
    if (!m_image.Open(path, error)) {
        if (interactive) {
            QMessageBox::warning(this, QStringLiteral("TWTiffView"),
                                 tr("Не удалось открыть файл %1:\n%2").arg(path, error));
        }
        m_path.clear();
        m_page = -1;
        m_current = FaxPage();
        m_thumbs->clear();
        Render();
        UpdateActions();
        return false;
    }
    m_path = path;
    m_rotation = 0;
    setWindowTitle(QStringLiteral("%1 - TWTiffView")
                       .arg(title.isEmpty() ? QFileInfo(path).fileName() : title));
    FillThumbnails();
    m_page = -1;
    ShowPage(0);
    return true;
}

void CViewerWindow::FillThumbnails() {
    QSignalBlocker block(m_thumbs);
    m_thumbs->clear();
    for (int i = 0; i < m_image.PageCount(); ++i) {
        FaxPage page = m_image.ReadPage(i);
        QPixmap thumb;
        if (!page.image.isNull()) {
            QSize size = PhysicalPixels(page).scaled(m_thumbs->iconSize(), Qt::KeepAspectRatio);
            thumb = QPixmap::fromImage(
                page.image.convertToFormat(QImage::Format_Grayscale8)
                    .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        }
        m_thumbs->addItem(new QListWidgetItem(QIcon(thumb), tr("Страница %1").arg(i + 1)));
    }
}

void CViewerWindow::ShowPage(int index) {
    if (index < 0 || index >= m_image.PageCount() || index == m_page) {
        return;
    }
    m_page = index;
    m_current = m_image.ReadPage(index);
    {
        QSignalBlocker block(m_thumbs);
        m_thumbs->setCurrentRow(index);
    }
    if (m_current.image.isNull()) {
        statusBar()->showMessage(tr("Страница %1 повреждена").arg(index + 1));
    } else {
        statusBar()->clearMessage();
    }
    Render();
    m_scroll->verticalScrollBar()->setValue(0);
    UpdateActions();
}

QSize CViewerWindow::DisplayedSize() const {
    if (m_current.image.isNull()) {
        return {};
    }
    QSize physical = PhysicalPixels(m_current);
    if (m_rotation % 180 != 0) {
        physical.transpose();
    }
    double zoom = m_zoom;
    if (m_fitWidth) {
        int avail = m_scroll->viewport()->width() - 2;
        zoom = std::clamp(static_cast<double>(std::max(avail, 50)) / physical.width(), kMinZoom,
                          kMaxZoom);
    }
    return QSize(std::max(1, static_cast<int>(physical.width() * zoom + 0.5)),
                 std::max(1, static_cast<int>(physical.height() * zoom + 0.5)));
}

void CViewerWindow::Render() {
    if (m_current.image.isNull()) {
        m_view->setPixmap(QPixmap());
        m_view->resize(0, 0);
        return;
    }
    QSize target = DisplayedSize();
    QImage image = m_current.image;
    if (m_rotation != 0) {
        image = image.transformed(QTransform().rotate(m_rotation));
    }
    // Smooth scaling turns thin black lines on white into readable grey when shrinking.
    m_view->setPixmap(
        QPixmap::fromImage(image.convertToFormat(QImage::Format_Grayscale8)
                               .scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    m_view->resize(target);
}

void CViewerWindow::UpdateActions() {
    int count = m_image.PageCount();
    m_prev->setEnabled(m_page > 0);
    m_next->setEnabled(m_page >= 0 && m_page + 1 < count);
    m_print->setEnabled(count > 0);
    m_pdf->setEnabled(count > 0);
    m_pageLabel->setText(count > 0 ? tr("Страница %1 из %2").arg(m_page + 1).arg(count)
                                   : QString());
}

void CViewerWindow::SetFitWidth(bool on) {
    if (on == m_fitWidth) {
        return;
    }
    if (!on) {
        // Zooming goes on from what fitting showed.
        QSize physical = PhysicalPixels(m_current);
        QSize shown = DisplayedSize();
        if (!shown.isEmpty() && physical.width() > 0) {
            m_zoom = static_cast<double>(m_rotation % 180 ? shown.height() : shown.width()) /
                     physical.width();
        }
    }
    m_fitWidth = on;
    {
        QSignalBlocker block(m_fit);
        m_fit->setChecked(on);
    }
    Render();
}

void CViewerWindow::ZoomIn() {
    SetFitWidth(false);
    m_zoom = std::min(kMaxZoom, m_zoom * 1.25);
    Render();
}

void CViewerWindow::ZoomOut() {
    SetFitWidth(false);
    m_zoom = std::max(kMinZoom, m_zoom / 1.25);
    Render();
}

void CViewerWindow::RotateRight() {
    m_rotation = (m_rotation + 90) % 360;
    Render();
}

void CViewerWindow::RotateLeft() {
    m_rotation = (m_rotation + 270) % 360;
    Render();
}

void CViewerWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (m_fitWidth) {
        Render();
    }
}

void CViewerWindow::OnOpen() {
    QString path =
        QFileDialog::getOpenFileName(this, tr("Открыть факс"), QFileInfo(m_path).absolutePath(),
                                     tr("Изображения TIFF (*.tif *.tiff);;Все файлы (*)"));
    if (!path.isEmpty()) {
        OpenFile(path);
    }
}

// Every page on its own sheet, as large as fits, keeping the page's shape on paper.
bool CViewerWindow::PaintPages(QPagedPaintDevice& device, QPainter& painter) {
    for (int i = 0; i < m_image.PageCount(); ++i) {
        if (i > 0 && !device.newPage()) {
            return false;
        }
        FaxPage page = m_image.ReadPage(i);
        if (page.image.isNull()) {
            continue;
        }
        QImage image = page.image;
        QSize physical = PhysicalPixels(page);
        if (m_rotation != 0) {
            image = image.transformed(QTransform().rotate(m_rotation));
            if (m_rotation % 180 != 0) {
                physical.transpose();
            }
        }
        QRect area = painter.viewport();
        QSize fitted = physical.scaled(area.size(), Qt::KeepAspectRatio);
        QRect target(area.x() + (area.width() - fitted.width()) / 2, area.y(), fitted.width(),
                     fitted.height());
        painter.drawImage(target, image);
    }
    return true;
}

bool CViewerWindow::SaveAsPdf(const QString& path) {
    if (m_image.PageCount() == 0) {
        return false;
    }
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(204);
    writer.setTitle(QFileInfo(m_path).completeBaseName());
    writer.setCreator(QStringLiteral("TWTiffView"));
    QPainter painter;
    if (!painter.begin(&writer)) {
        return false;
    }
    bool ok = PaintPages(writer, painter);
    return painter.end() && ok;
}

void CViewerWindow::OnSavePdf() {
    QString suggested = QFileInfo(m_path).completeBaseName() + QStringLiteral(".pdf");
    QString path = QFileDialog::getSaveFileName(this, tr("Сохранить как PDF"),
                                                QFileInfo(m_path).absoluteDir().filePath(suggested),
                                                tr("Документы PDF (*.pdf)"));
    if (path.isEmpty()) {
        return;
    }
    if (!SaveAsPdf(path)) {
        QMessageBox::warning(this, QStringLiteral("TWTiffView"),
                             tr("Не удалось сохранить файл %1").arg(path));
    }
}

void CViewerWindow::OnPrint() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageMargins(QMarginsF(5, 5, 5, 5), QPageLayout::Millimeter);
    printer.setDocName(QFileInfo(m_path).completeBaseName());
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(tr("Печать факса"));
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    QPainter painter;
    if (!painter.begin(&printer) || !PaintPages(printer, painter)) {
        QMessageBox::warning(this, QStringLiteral("TWTiffView"), tr("Не удалось напечатать факс"));
    }
    painter.end();
}
