// The About box: product name and version, the support and web-site links, copyright and warning.
#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <string>

namespace velquin::platform {
class Platform;
}

namespace velquin::app {

/// A label shown in the highlight colour with a pointing-hand cursor, which reports clicks.
class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    LinkLabel(const QString& text, QWidget* parent);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class Dialog1 : public QDialog
{
    Q_OBJECT

public:
    /// `webSite` is what the web-site link opens.
    Dialog1(platform::Platform& platform, std::string webSite, QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QGroupBox* Frame1 = nullptr;
    LinkLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    LinkLabel* Label8 = nullptr;
    QPushButton* OKButton = nullptr;

public slots:
    void Label2_Click(); ///< a new mail to the support address
    void Label8_Click(); ///< the maker's web site
    void OKButton_Click();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    platform::Platform& m_platform;
    std::string m_webSite;
    QPixmap m_picture;
};

} // namespace velquin::app
