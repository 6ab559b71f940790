// Draws the bundled icons as PNG files: velquin_make_icons <output dir>.
// They stand in wherever the desktop's icon theme has no usable icon of the same meaning.
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace {

const QColor kPaper(250, 250, 250);
const QColor kInk(60, 70, 85);
const QColor kBlue(52, 101, 164);
const QColor kGreen(78, 154, 6);
const QColor kRed(204, 0, 0);
const QColor kYellow(237, 180, 0);
const QColor kGrey(150, 150, 150);

void Document(QPainter& p, QRectF r) {
    const qreal fold = r.width() * 0.3;
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(QPen(kInk, r.width() / 14.0));
    p.setBrush(kPaper);
    p.drawPath(path);
    p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
    p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
    p.setPen(QPen(kGrey, r.width() / 16.0));
    for (int i = 0; i < 4; ++i) {
        qreal y = r.top() + r.height() * (0.42 + i * 0.14);
        p.drawLine(QPointF(r.left() + r.width() * 0.18, y),
                   QPointF(r.right() - r.width() * 0.18, y));
    }
}

void Envelope(QPainter& p, QRectF r, QColor fill = QColor(255, 248, 220)) {
    p.setPen(QPen(kInk, r.width() / 14.0));
    p.setBrush(fill);
    p.drawRect(r);
    p.drawLine(r.topLeft(), QPointF(r.center().x(), r.center().y() + r.height() * 0.1));
    p.drawLine(QPointF(r.center().x(), r.center().y() + r.height() * 0.1), r.topRight());
}

void Arrow(QPainter& p, QPointF from, QPointF to, QColor c, qreal w) {
    p.setPen(QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(from, to);
    QLineF l(to, from);
    QLineF a = l;
    a.setLength(w * 2.2);
    a.setAngle(l.angle() + 40);
    QLineF b = l;
    b.setLength(w * 2.2);
    b.setAngle(l.angle() - 40);
    p.drawLine(a);
    p.drawLine(b);
}

void Badge(QPainter& p, QRectF r, QColor c) {
    p.setPen(QPen(Qt::white, r.width() / 8.0));
    p.setBrush(c);
    p.drawEllipse(r);
}

void Person(QPainter& p, QRectF r, QColor c) {
    p.setPen(QPen(kInk, r.width() / 16.0));
    p.setBrush(c);
    p.drawEllipse(QRectF(r.left() + r.width() * 0.3, r.top(), r.width() * 0.4, r.height() * 0.4));
    p.drawChord(QRectF(r.left() + r.width() * 0.08, r.top() + r.height() * 0.45, r.width() * 0.84,
                       r.height() * 0.9),
                0, 180 * 16);
}

void Plus(QPainter& p, QPointF c, qreal s) {
    p.setPen(QPen(kGreen, s / 3.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(c.x() - s, c.y()), QPointF(c.x() + s, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - s), QPointF(c.x(), c.y() + s));
}

void Book(QPainter& p, QRectF r) {
    p.setPen(QPen(kInk, r.width() / 16.0));
    p.setBrush(QColor(114, 159, 207));
    p.drawRoundedRect(r, 2, 2);
    p.setBrush(kPaper);
    p.drawRect(QRectF(r.left() + r.width() * 0.18, r.top() + r.height() * 0.12, r.width() * 0.7,
                      r.height() * 0.76));
    p.setBrush(kBlue);
    p.drawRect(QRectF(r.left(), r.top(), r.width() * 0.12, r.height()));
}

void Magnifier(QPainter& p, QRectF r) {
    p.setPen(QPen(kInk, r.width() / 6.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(r.center(), r.bottomRight());
    p.setPen(QPen(kInk, r.width() / 10.0));
    p.setBrush(QColor(200, 225, 255, 220));
    p.drawEllipse(QRectF(r.left(), r.top(), r.width() * 0.65, r.height() * 0.65));
}

void Gear(QPainter& p, QRectF r) {
    p.save();
    p.translate(r.center());
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    for (int i = 0; i < 8; ++i) {
        p.rotate(45);
        p.drawRect(
            QRectF(-r.width() * 0.08, -r.height() * 0.5, r.width() * 0.16, r.height() * 0.2));
    }
    p.drawEllipse(QPointF(0, 0), r.width() * 0.36, r.height() * 0.36);
    p.setBrush(kPaper);
    p.drawEllipse(QPointF(0, 0), r.width() * 0.14, r.height() * 0.14);
    p.restore();
}

void Faxmachine(QPainter& p, QRectF r) {
    Document(p, QRectF(r.left() + r.width() * 0.25, r.top(), r.width() * 0.5, r.height() * 0.55));
    p.setPen(QPen(kInk, r.width() / 16.0));
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(186, 189, 182));
    g.setColorAt(1, QColor(136, 138, 133));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(r.left(), r.top() + r.height() * 0.45, r.width(), r.height() * 0.55),
                      r.width() / 10, r.width() / 10);
    p.setBrush(QColor(52, 101, 164));
    p.drawRect(QRectF(r.left() + r.width() * 0.12, r.top() + r.height() * 0.6, r.width() * 0.4,
                      r.height() * 0.14));
}

using Painter = std::function<void(QPainter&, QRectF)>;

bool Save(const QString& dir, const QString& name, int size, const Painter& draw) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal m = size / 16.0;
    draw(p, QRectF(m, m, size - 2 * m, size - 2 * m));
    p.end();
    return pm.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

QRectF Part(QRectF r, qreal x, qreal y, qreal w, qreal h) {
    return QRectF(r.left() + r.width() * x, r.top() + r.height() * y, r.width() * w,
                  r.height() * h);
}

void StateIcon(QPainter& p, QRectF r, bool list, QColor state) {
    if (list) {
        Envelope(p, Part(r, 0.25, 0.05, 0.75, 0.5), QColor(230, 230, 230));
    }
    Envelope(p, Part(r, 0.0, list ? 0.3 : 0.15, 0.8, 0.55));
    Badge(p, Part(r, 0.5, 0.5, 0.5, 0.5), state);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(dir);
    struct Icon {
        const char* name;
        int size;
        Painter draw;
    };
    const std::vector<Icon> icons = {
        {"app", 64, [](QPainter& p, QRectF r) { Faxmachine(p, r); }},
        {"page-new", 48,
         [](QPainter& p, QRectF r) {
             Document(p, Part(r, 0.12, 0.0, 0.66, 0.9));
             Badge(p, Part(r, 0.55, 0.55, 0.45, 0.45), kYellow);
         }},
        {"page-sent", 48,
         [](QPainter& p, QRectF r) {
             Envelope(p, Part(r, 0.0, 0.2, 0.8, 0.55));
             Arrow(p,
                   Part(r, 0, 0, 1, 1).bottomLeft() + QPointF(r.width() * 0.45, -r.height() * 0.1),
                   QPointF(r.right(), r.top() + r.height() * 0.55), kGreen, r.width() / 10);
         }},
        {"page-saved", 48,
         [](QPainter& p, QRectF r) {
             p.setPen(QPen(kInk, r.width() / 16.0));
             p.setBrush(QColor(252, 233, 79));
             p.drawRoundedRect(Part(r, 0.0, 0.2, 1.0, 0.75), 3, 3);
             Document(p, Part(r, 0.2, 0.0, 0.55, 0.65));
             p.setBrush(QColor(237, 212, 0));
             p.drawRoundedRect(Part(r, 0.0, 0.45, 1.0, 0.5), 3, 3);
         }},
        {"page-contacts", 48,
         [](QPainter& p, QRectF r) {
             Book(p, r);
             Person(p, Part(r, 0.3, 0.25, 0.5, 0.5), QColor(252, 175, 62));
         }},
        {"delete", 32,
         [](QPainter& p, QRectF r) {
             p.setPen(QPen(kRed, r.width() / 6.0, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(Part(r, 0.15, 0.15, 0.7, 0.7).topLeft(),
                        Part(r, 0.15, 0.15, 0.7, 0.7).bottomRight());
             p.drawLine(Part(r, 0.15, 0.15, 0.7, 0.7).topRight(),
                        Part(r, 0.15, 0.15, 0.7, 0.7).bottomLeft());
         }},
        {"save", 32,
         [](QPainter& p, QRectF r) {
             p.setPen(QPen(kInk, r.width() / 14.0));
             p.setBrush(kBlue);
             p.drawRoundedRect(r, 2, 2);
             p.setBrush(kPaper);
             p.drawRect(Part(r, 0.2, 0.0, 0.6, 0.4));
             p.setBrush(QColor(186, 189, 182));
             p.drawRect(Part(r, 0.25, 0.6, 0.5, 0.4));
         }},
        {"add-document", 32,
         [](QPainter& p, QRectF r) {
             Document(p, Part(r, 0.0, 0.0, 0.7, 0.9));
             Plus(p, Part(r, 0.55, 0.55, 0.4, 0.4).center(), r.width() * 0.2);
         }},
        {"view", 32,
         [](QPainter& p, QRectF r) {
             Document(p, Part(r, 0.0, 0.0, 0.7, 0.9));
             Magnifier(p, Part(r, 0.4, 0.4, 0.6, 0.6));
         }},
        {"send", 32,
         [](QPainter& p, QRectF r) {
             Envelope(p, Part(r, 0.0, 0.3, 0.75, 0.5));
             Arrow(p, Part(r, 0.4, 0.0, 0.6, 0.6).bottomLeft(),
                   Part(r, 0.4, 0.0, 0.6, 0.6).topRight(), kGreen, r.width() / 9);
         }},
        {"send-list", 32,
         [](QPainter& p, QRectF r) {
             Envelope(p, Part(r, 0.15, 0.15, 0.7, 0.45), QColor(230, 230, 230));
             Envelope(p, Part(r, 0.0, 0.4, 0.7, 0.45));
             Arrow(p, Part(r, 0.5, 0.0, 0.5, 0.5).bottomLeft(),
                   Part(r, 0.5, 0.0, 0.5, 0.5).topRight(), kGreen, r.width() / 10);
         }},
        {"send-personal", 32,
         [](QPainter& p, QRectF r) {
             Envelope(p, Part(r, 0.0, 0.4, 0.7, 0.45));
             Person(p, Part(r, 0.5, 0.0, 0.5, 0.5), QColor(252, 175, 62));
         }},
        {"help", 32,
         [](QPainter& p, QRectF r) {
             p.setPen(QPen(kInk, r.width() / 14.0));
             p.setBrush(kBlue);
             p.drawEllipse(r);
             QFont f = p.font();
             f.setBold(true);
             f.setPixelSize(static_cast<int>(r.height() * 0.75));
             p.setFont(f);
             p.setPen(Qt::white);
             p.drawText(r, Qt::AlignCenter, QStringLiteral("?"));
         }},
        {"move-up", 32,
         [](QPainter& p, QRectF r) {
             Arrow(p, Part(r, 0.5, 1.0, 0, 0).topLeft(), Part(r, 0.5, 0.1, 0, 0).topLeft(), kBlue,
                   r.width() / 6);
         }},
        {"move-down", 32,
         [](QPainter& p, QRectF r) {
             Arrow(p, Part(r, 0.5, 0.0, 0, 0).topLeft(), Part(r, 0.5, 0.9, 0, 0).topLeft(), kBlue,
                   r.width() / 6);
         }},
        {"add-to-new", 32,
         [](QPainter& p, QRectF r) {
             Document(p, Part(r, 0.0, 0.0, 0.6, 0.8));
             Arrow(p, Part(r, 0.45, 0.75, 0, 0).topLeft(), Part(r, 1.0, 0.75, 0, 0).topLeft(),
                   kGreen, r.width() / 8);
         }},
        {"report", 32,
         [](QPainter& p, QRectF r) {
             Document(p, Part(r, 0.05, 0.0, 0.7, 0.95));
             p.setPen(QPen(kGreen, r.width() / 8.0, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(Part(r, 0.45, 0.7, 0, 0).topLeft(), Part(r, 0.62, 0.88, 0, 0).topLeft());
             p.drawLine(Part(r, 0.62, 0.88, 0, 0).topLeft(), Part(r, 0.98, 0.45, 0, 0).topLeft());
         }},
        {"resend", 32,
         [](QPainter& p, QRectF r) {
             Envelope(p, Part(r, 0.0, 0.35, 0.75, 0.5));
             Badge(p, Part(r, 0.55, 0.0, 0.45, 0.45), kRed);
         }},
        {"sync", 32,
         [](QPainter& p, QRectF r) {
             p.setPen(QPen(kGreen, r.width() / 7.0, Qt::SolidLine, Qt::RoundCap));
             p.setBrush(Qt::NoBrush);
             QRectF c = Part(r, 0.12, 0.12, 0.76, 0.76);
             p.drawArc(c, 30 * 16, 150 * 16);
             p.drawArc(c, 210 * 16, 150 * 16);
             Arrow(p, Part(r, 0.7, 0.05, 0, 0).topLeft(), Part(r, 0.88, 0.32, 0, 0).topLeft(),
                   kGreen, r.width() / 7);
             Arrow(p, Part(r, 0.3, 0.95, 0, 0).topLeft(), Part(r, 0.12, 0.68, 0, 0).topLeft(),
                   kGreen, r.width() / 7);
         }},
        {"filter", 32,
         [](QPainter& p, QRectF r) {
             QPainterPath f;
             f.moveTo(Part(r, 0, 0.05, 0, 0).topLeft());
             f.lineTo(Part(r, 1, 0.05, 0, 0).topLeft());
             f.lineTo(Part(r, 0.6, 0.5, 0, 0).topLeft());
             f.lineTo(Part(r, 0.6, 0.95, 0, 0).topLeft());
             f.lineTo(Part(r, 0.4, 0.85, 0, 0).topLeft());
             f.lineTo(Part(r, 0.4, 0.5, 0, 0).topLeft());
             f.closeSubpath();
             p.setPen(QPen(kInk, r.width() / 14.0));
             p.setBrush(QColor(114, 159, 207));
             p.drawPath(f);
         }},
        {"new-contact", 32,
         [](QPainter& p, QRectF r) {
             Person(p, Part(r, 0.0, 0.05, 0.75, 0.75), QColor(252, 175, 62));
             Plus(p, Part(r, 0.6, 0.6, 0.4, 0.4).center(), r.width() * 0.18);
         }},
        {"new-group", 32,
         [](QPainter& p, QRectF r) {
             Person(p, Part(r, 0.3, 0.0, 0.6, 0.6), QColor(114, 159, 207));
             Person(p, Part(r, 0.0, 0.2, 0.6, 0.6), QColor(252, 175, 62));
             Plus(p, Part(r, 0.6, 0.6, 0.4, 0.4).center(), r.width() * 0.18);
         }},
        {"new-book", 32,
         [](QPainter& p, QRectF r) {
             Book(p, Part(r, 0.0, 0.0, 0.75, 0.9));
             Plus(p, Part(r, 0.6, 0.6, 0.4, 0.4).center(), r.width() * 0.18);
         }},
        {"properties", 32,
         [](QPainter& p, QRectF r) {
             Document(p, Part(r, 0.0, 0.0, 0.7, 0.9));
             Gear(p, Part(r, 0.45, 0.45, 0.55, 0.55));
         }},
        {"import", 32,
         [](QPainter& p, QRectF r) {
             Book(p, Part(r, 0.3, 0.1, 0.7, 0.85));
             Arrow(p, Part(r, 0.0, 0.5, 0, 0).topLeft(), Part(r, 0.6, 0.5, 0, 0).topLeft(), kGreen,
                   r.width() / 8);
         }},
        {"open-book", 32,
         [](QPainter& p, QRectF r) {
             p.setPen(QPen(kInk, r.width() / 14.0));
             p.setBrush(QColor(252, 233, 79));
             p.drawRoundedRect(Part(r, 0.0, 0.25, 1.0, 0.7), 2, 2);
             Book(p, Part(r, 0.3, 0.0, 0.45, 0.6));
         }},
        {"export", 32,
         [](QPainter& p, QRectF r) {
             Book(p, Part(r, 0.0, 0.1, 0.7, 0.85));
             Arrow(p, Part(r, 0.4, 0.5, 0, 0).topLeft(), Part(r, 1.0, 0.5, 0, 0).topLeft(), kGreen,
                   r.width() / 8);
         }},
        {"settings", 32, [](QPainter& p, QRectF r) { Gear(p, r); }},
        {"hide", 32,
         [](QPainter& p, QRectF r) {
             p.setPen(QPen(kInk, r.width() / 14.0));
             p.setBrush(kPaper);
             p.drawRect(Part(r, 0, 0.1, 1, 0.8));
             p.setBrush(kBlue);
             p.drawRect(Part(r, 0, 0.1, 1, 0.18));
             p.setPen(QPen(kInk, r.width() / 8.0));
             p.drawLine(Part(r, 0.3, 0.7, 0, 0).topLeft(), Part(r, 0.7, 0.7, 0, 0).topLeft());
         }},
        {"exit", 32,
         [](QPainter& p, QRectF r) {
             p.setPen(QPen(kRed, r.width() / 7.0, Qt::SolidLine, Qt::RoundCap));
             p.setBrush(Qt::NoBrush);
             p.drawArc(Part(r, 0.1, 0.15, 0.8, 0.8), 120 * 16, 300 * 16);
             p.drawLine(Part(r, 0.5, 0.0, 0, 0).topLeft(), Part(r, 0.5, 0.5, 0, 0).topLeft());
         }},
        {"about", 32,
         [](QPainter& p, QRectF r) {
             p.setPen(QPen(kInk, r.width() / 14.0));
             p.setBrush(kBlue);
             p.drawEllipse(r);
             QFont f = p.font();
             f.setBold(true);
             f.setPixelSize(static_cast<int>(r.height() * 0.75));
             p.setFont(f);
             p.setPen(Qt::white);
             p.drawText(r, Qt::AlignCenter, QStringLiteral("i"));
         }},
        // Images of the sent-fax tree: 2 the root, 3-6 single and personalised, 7-10 lists
        // (no result, queued, failed, delivered).
        {"tree-root", 16,
         [](QPainter& p, QRectF r) {
             p.setPen(QPen(kInk, 1));
             p.setBrush(QColor(252, 233, 79));
             p.drawRoundedRect(Part(r, 0, 0.15, 1, 0.8), 1, 1);
         }},
        {"state-single", 16, [](QPainter& p, QRectF r) { StateIcon(p, r, false, kGrey); }},
        {"state-single-queued", 16, [](QPainter& p, QRectF r) { StateIcon(p, r, false, kYellow); }},
        {"state-single-failed", 16, [](QPainter& p, QRectF r) { StateIcon(p, r, false, kRed); }},
        {"state-single-done", 16, [](QPainter& p, QRectF r) { StateIcon(p, r, false, kGreen); }},
        {"state-list", 16, [](QPainter& p, QRectF r) { StateIcon(p, r, true, kGrey); }},
        {"state-list-queued", 16, [](QPainter& p, QRectF r) { StateIcon(p, r, true, kYellow); }},
        {"state-list-failed", 16, [](QPainter& p, QRectF r) { StateIcon(p, r, true, kRed); }},
        {"state-list-done", 16, [](QPainter& p, QRectF r) { StateIcon(p, r, true, kGreen); }},
    };
    QStringList qrc;
    for (const Icon& i : icons) {
        const QString name = QString::fromLatin1(i.name);
        if (!Save(dir, name, i.size, i.draw)) {
            return 1;
        }
        qrc << QStringLiteral("    <file>%1.png</file>").arg(name);
    }
    QFile f(dir + QStringLiteral("/icons.qrc"));
    if (!f.open(QIODevice::WriteOnly)) {
        return 1;
    }
    f.write("<RCC>\n  <qresource prefix=\"/icons\">\n");
    f.write(qrc.join(QLatin1Char('\n')).toUtf8());
    f.write("\n  </qresource>\n</RCC>\n");
    return 0;
}
