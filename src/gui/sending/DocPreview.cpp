#include "gui/sending/DocPreview.h"

#include "sending/FaxImage.h"
#include "store/Viewers.h"

#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kThumbWidth = 96;

// The first page at thumbnail size; fax images are finer across than down, so the page is
// drawn at its true proportions.
QPixmap FirstPage(const std::string& path) {
    QImageReader reader(QString::fromStdString(path));
    reader.setDecideFormatFromContent(true);
    const QImage page = reader.read();
    if (page.isNull()) {
        return {};
    }
    double height = page.height();
    if (page.dotsPerMeterX() > 0 && page.dotsPerMeterY() > 0) {
        height = height * page.dotsPerMeterX() / page.dotsPerMeterY();
    }
    const int h = std::max(1, static_cast<int>(height * kThumbWidth / std::max(1, page.width())));
    return QPixmap::fromImage(
        page.scaled(kThumbWidth, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

} // namespace

CDocPreview::CDocPreview(std::string imagePath, IPrompt& prompt, QWidget* parent)
    : QWidget(parent), m_path(std::move(imagePath)), m_prompt(prompt), m_pages(CountPages(m_path)),
      m_pagesText(new QLabel(this)) {
    setObjectName(QStringLiteral("preview"));
    auto* thumb = new QLabel(this);
    thumb->setObjectName(QStringLiteral("preview_image"));
    thumb->setFrameShape(QFrame::Box);
    if (const QPixmap first = FirstPage(m_path); !first.isNull()) {
        thumb->setPixmap(first);
    } else {
        thumb->setText(tr("Нет изображения"));
    }
    m_pagesText->setObjectName(QStringLiteral("preview_pages"));
    m_pagesText->setWordWrap(true);
    SetPagesText(tr("Страниц: %1").arg(m_pages));
    auto* view = new QPushButton(tr("Просмотр"), this);
    view->setObjectName(QStringLiteral("preview_view"));
    view->setAutoDefault(false);
    connect(view, &QPushButton::clicked, this,
            [this] { CViewers(m_prompt).ShowFile(CAttach(m_path)); });

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(thumb);
    auto* side = new QVBoxLayout;
    side->addWidget(m_pagesText);
    side->addWidget(view, 0, Qt::AlignLeft);
    side->addStretch(1);
    layout->addLayout(side, 1);
}

void CDocPreview::SetPagesText(const QString& text) {
    m_pagesText->setText(text);
}
