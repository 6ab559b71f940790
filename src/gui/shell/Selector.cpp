#include "gui/shell/Selector.h"

#include <QListWidget>
#include <QMouseEvent>
#include <QSignalBlocker>

CSelector::CSelector(const std::vector<std::pair<QString, QString>>& pages, QWidget* parent)
    : QDockWidget(tr("Навигатор"), parent) {
    setObjectName(QStringLiteral("navigator"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                QDockWidget::DockWidgetFloatable);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("navigatorList"));
    m_list->setViewMode(QListView::IconMode);
    m_list->setFlow(QListView::TopToBottom);
    m_list->setMovement(QListView::Static);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setWrapping(false);
    m_list->setWordWrap(true);
    m_list->setIconSize(QSize(48, 48));
    m_list->setGridSize(QSize(132, 100));
    m_list->setTextElideMode(Qt::ElideNone);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setMouseTracking(true);
    m_list->viewport()->installEventFilter(this);
    m_list->setMinimumWidth(140);
    // The application-workspace colour with light text, as a navigator bar looks.
    QPalette pal = m_list->palette();
    pal.setColor(QPalette::Base, QColor(0x5e, 0x6a, 0x78));
    pal.setColor(QPalette::Text, QColor(0xf4, 0xf4, 0xf4));
    pal.setColor(QPalette::Highlight, QColor(0x3d, 0x8e, 0xe0));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    m_list->setPalette(pal);
    for (const auto& [title, icon] : pages) {
        auto* item =
            new QListWidgetItem(QIcon(QStringLiteral(":/icons/%1.png").arg(icon)), title, m_list);
        item->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
    }
    connect(m_list, &QListWidget::itemPressed, this,
            [this](QListWidgetItem* item) { Q_EMIT PageChosen(m_list->row(item)); });
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) {
            Q_EMIT PageChosen(row);
        }
    });
    setWidget(m_list);
}

void CSelector::SetCurrent(int page) {
    const QSignalBlocker block(m_list);
    m_list->setCurrentRow(page);
}

bool CSelector::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list->viewport() && event->type() == QEvent::MouseMove) {
        auto* me = static_cast<QMouseEvent*>(event);
        m_list->viewport()->setCursor(m_list->itemAt(me->position().toPoint()) != nullptr
                                          ? Qt::PointingHandCursor
                                          : Qt::ArrowCursor);
    }
    return QDockWidget::eventFilter(watched, event);
}
