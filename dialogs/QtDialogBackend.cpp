// The dialog backend that shows Qt's dialogs: QFileDialog, QColorDialog, QFontDialog, QPrintDialog and
// QPageSetupDialog.
#include "dialogs/QtDialogBackend.h"

#include "dialogs/FilterList.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QGuiApplication>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QStringList>
#include <cmath>

namespace velquin::dialogs {
namespace {

QString toQt(const std::string& text)
{
    return QString::fromStdString(text);
}

QColor fromColorRef(std::int32_t colorRef)
{
    const auto value = static_cast<std::uint32_t>(colorRef);
    return QColor(static_cast<int>(value & 0xFFu), static_cast<int>((value >> 8) & 0xFFu),
                  static_cast<int>((value >> 16) & 0xFFu));
}

std::int32_t toColorRef(const QColor& color)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(color.red()) |
                                     (static_cast<std::uint32_t>(color.green()) << 8) |
                                     (static_cast<std::uint32_t>(color.blue()) << 16));
}

std::optional<std::string> runFileDialog(const FileDialogRequest& request, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(request.owner, toQt(request.caption));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // The name filters carry case-folding classes that nobody should have to read.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
    QStringList nameFilters;
    for (const FilterEntry& entry : request.filters)
        nameFilters << toQt(qtNameFilter(entry));
    if (!nameFilters.isEmpty())
        dialog.setNameFilters(nameFilters);
    if (request.filterIndex >= 1 && request.filterIndex <= nameFilters.size())
        dialog.selectNameFilter(nameFilters.at(request.filterIndex - 1));
    if (!request.initialFolder.empty())
        dialog.setDirectory(toQt(request.initialFolder));
    if (!request.initialFile.empty())
        dialog.selectFile(toQt(request.initialFile));
    if (!request.defaultExtension.empty())
        dialog.setDefaultSuffix(toQt(request.defaultExtension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst().toStdString();
}

} // namespace

std::optional<std::string> QtDialogBackend::openFile(const FileDialogRequest& request)
{
    return runFileDialog(request, QFileDialog::AcceptOpen);
}

std::optional<std::string> QtDialogBackend::saveFile(const FileDialogRequest& request)
{
    return runFileDialog(request, QFileDialog::AcceptSave);
}

std::optional<std::string> QtDialogBackend::browseFolder(const FolderDialogRequest& request)
{
    QFileDialog dialog(request.owner, toQt(request.title));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst().toStdString();
}

std::optional<std::int32_t> QtDialogBackend::chooseColor(const ColorDialogRequest& request)
{
    // Qt keeps custom colours for the whole process; each request brings its own table instead.
    const int customCount = std::min(QColorDialog::customCount(), static_cast<int>(request.customColors.size()));
    for (int i = 0; i < customCount; ++i)
        QColorDialog::setCustomColor(i, fromColorRef(request.customColors[static_cast<std::size_t>(i)]));
    QColorDialog dialog(fromColorRef(request.initialColor), request.owner);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return toColorRef(dialog.selectedColor());
}

std::optional<FontDialogAnswer> QtDialogBackend::chooseFont(const FontDialogRequest& request)
{
    QFont initial;
    if (!request.font.faceName.empty())
        initial.setFamily(toQt(request.font.faceName));
    if (request.font.height != 0)
        initial.setPixelSize(std::abs(request.font.height));
    initial.setBold(request.font.weight >= 700);
    initial.setItalic(request.font.italic);
    initial.setUnderline(request.font.underline);
    QFontDialog dialog(initial, request.owner);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QFont chosen = dialog.selectedFont();
    double points = chosen.pointSizeF();
    if (points <= 0 && chosen.pixelSize() > 0)
        points = chosen.pixelSize() * 72.0 / screenDpiY();
    FontDialogAnswer answer;
    answer.faceName = chosen.family().toStdString();
    answer.pointSizeTenths = static_cast<int>(std::lround(points * 10));
    answer.bold = chosen.bold();
    answer.italic = chosen.italic();
    return answer;
}

bool QtDialogBackend::print(const PrintDialogRequest& request)
{
    if (QPrinterInfo::availablePrinters().isEmpty())
        return false;
    QPrinter printer;
    QPrintDialog dialog(&printer, request.owner);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, !request.noSelection);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, !request.noPageNumbers);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, !request.hidePrintToFile);
    return dialog.exec() == QDialog::Accepted;
}

std::optional<std::string> QtDialogBackend::defaultPrinterName()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return std::nullopt;
    return info.printerName().toStdString();
}

bool QtDialogBackend::printerProperties(QWidget* owner, const std::string& printerName)
{
    const QPrinterInfo info = QPrinterInfo::printerInfo(toQt(printerName));
    if (info.isNull())
        return false;
    QPrinter printer(info);
    QPageSetupDialog dialog(&printer, owner);
    return dialog.exec() == QDialog::Accepted;
}

int QtDialogBackend::screenDpiY()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return 96;
    return static_cast<int>(std::lround(screen->logicalDotsPerInchY()));
}

} // namespace velquin::dialogs
