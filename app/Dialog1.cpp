// The About box.
#include "app/Dialog1.h"

#include "app/Artwork.h"
#include "app/form1.h"
#include "common/Product.h"
#include "platform/Platform.h"

#include <QMouseEvent>
#include <QPainter>

namespace velquin::app {

namespace {

// The copyright line at 9 pt and the addresses need more room than their first widths gave them with common
// desktop fonts (Liberation Sans cut the copyright line after "The Velquin d"); they reach to the frame's inner edge,
// and the box keeps its size.
constexpr int kFrameRight = 4330;

void place(QWidget* widget, int left, int top, int width, int height)
{
    widget->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

QLabel* label(QWidget* parent, const char* name, const QString& text, int left, int top, int width, int height)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    place(l, left, top, width, height);
    return l;
}

} // namespace

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, pal.color(QPalette::Highlight));
    setPalette(pal);
    setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

Dialog1::Dialog1(platform::Platform& platform, std::string webSite, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_platform(platform), m_webSite(std::move(webSite)), m_picture(drawPicture(Picture::Product, 48))
{
    setObjectName(QStringLiteral("Dialog1"));
    setWindowTitle(QStringLiteral("About us"));
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    setFont(font);
    setFixedSize(twips(4905), twips(4110));

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    place(OKButton, 120, 3600, 1215, 375);
    Label1 = label(this, "Label1", QString::fromLatin1(common::kProductName), 840, 240, 2055, 255);
    Label4 = label(this, "Label4", QString::fromLatin1(common::kVersionText), 840, 480, 1455, 255);
    Label5 = label(this, "Label5", QString::fromLatin1(common::kWarning), 120, 2280, 4695, 1095);
    Label5->setWordWrap(true);
    Label5->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    place(Frame1, 240, 960, 4450, 1090);
    Label2 = new LinkLabel(QString::fromUtf8(common::kSupportAddress), Frame1);
    Label2->setObjectName(QStringLiteral("Label2"));
    place(Label2, 1800, 240, kFrameRight - 1800, 250);
    Label3 = label(Frame1, "Label3", QStringLiteral("Technical Support:"), 120, 240, 1690, 250);
    Label6 = label(Frame1, "Label6", QString::fromLatin1(common::kCopyright), 120, 720, kFrameRight - 120, 255);
    QFont nine = font;
    nine.setPointSizeF(9);
    Label6->setFont(nine);
    Label7 = label(Frame1, "Label7", QStringLiteral(" Website:"), 120, 480, 850, 250);
    Label8 = new LinkLabel(QString::fromUtf8(common::kWebSiteHost), Frame1);
    Label8->setObjectName(QStringLiteral("Label8"));
    place(Label8, 1800, 480, kFrameRight - 1800, 250);

    connect(Label2, &LinkLabel::clicked, this, &Dialog1::Label2_Click);
    connect(Label8, &LinkLabel::clicked, this, &Dialog1::Label8_Click);
    connect(OKButton, &QPushButton::clicked, this, &Dialog1::OKButton_Click);
    OKButton->setFocus();
}

void Dialog1::Label2_Click()
{
    m_platform.shellOpen(std::string("mailto:") + common::kSupportAddress, platform::kShowMaximized);
}

void Dialog1::Label8_Click()
{
    m_platform.shellOpen(m_webSite, platform::kShowNormal);
}

void Dialog1::OKButton_Click()
{
    accept();
}

void Dialog1::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}

} // namespace velquin::app
