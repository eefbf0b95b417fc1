// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"

#include "app/AboutBox.h"
#include "app/ShellIcons.h"
#include "app/ToolbarWindow.h"
#include "charfile/CharacterFileReader.h"
#include "charfile/CharacterFileWriter.h"
#include "common/TextFile.h"
#include "dice/window/DiceWindow.h"
#include "report/window/ReportCommands.h"
#include "report/window/ReportWindow.h"
#include "settings/SettingsStore.h"
#include "sheet/SheetView.h"
#include "binding/SheetBinding.h"
#include "ui/BusyGuard.h"
#include "ui/MessageBox.h"
#include "ui/WindowPlace.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

#include <algorithm>

namespace keld {

namespace {

const QString kCharacterFilter = QStringLiteral("(*.kld)|*.kld");
const QString kCharacterExtension = QStringLiteral("kld");
const QString kInitialTitle = QStringLiteral("KELD Character Sheet");

QRect PrimaryScreenGeometry()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

// A title bar shows far less than this; a name of megabytes in the caption would be refused by
// the window system, which ends the program.
constexpr std::size_t kCaptionNameChars = 120;

// The caption for a title that begins with the character's name: a long name is cut (at a whole
// character) and ends in an ellipsis; what follows the name stays.
QString CaptionFor(const std::string& title, const std::string& name)
{
    const std::size_t nameBytes = title.compare(0, name.size(), name) == 0 ? name.size() : title.size();
    std::size_t chars = 0;
    for (std::size_t at = 0; at < nameBytes; ++at) {
        // A byte that starts a character: any but a UTF-8 continuation byte.
        if ((static_cast<unsigned char>(title[at]) & 0xC0) != 0x80 && ++chars > kCaptionNameChars)
            return QString::fromUtf8(title.data(), static_cast<qsizetype>(at)) + QChar(0x2026) +
                   QString::fromUtf8(title.data() + nameBytes,
                                     static_cast<qsizetype>(title.size() - nameBytes));
    }
    return QString::fromStdString(title);
}

} // namespace

MainWindow::MainWindow(SheetBinding& binding, SettingsStore& settings, std::string appName,
                       std::filesystem::path logFile, QString& detailTemplatePath,
                       QString& summaryTemplatePath, QWidget* parent)
    : QMainWindow(parent), m_binding(binding), m_model(binding.Model()), m_settings(settings),
      m_appName(std::move(appName)), m_logFile(std::move(logFile)), m_dialog(this)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(kInitialTitle);
    setWindowIcon(ProgramIcon());

    m_view = new SheetView(binding, this);
    setCentralWidget(m_view);
    m_reports = new ReportCommands(m_model, this, m_dialog, m_settings, detailTemplatePath,
                                   summaryTemplatePath, this);
    BuildMenus();

    // The caption follows the character's name once it has been set; a refresh of every field
    // alone leaves "KELD Character Sheet" standing.
    m_shownTitle = m_model.Title();
    m_binding.Bind(FieldId::Title, 0, [this] {
        if (m_model.Title() != m_shownTitle)
            ShowTitle();
    });
    m_binding.Bind(FieldId::Over102, 0, [this] { m_mnuStatsOver->setChecked(m_model.Over102()); });

    resize(m_view->minimumWidth(), PrimaryScreenGeometry().height());
}

MainWindow::~MainWindow() = default;

QAction* MainWindow::AddItem(QMenu* menu, const char* name, const QString& caption)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    return action;
}

QMenu* MainWindow::AddMenu(QMenu* parent, const char* name, const QString& caption, const QString& spoken)
{
    QMenu* menu = parent ? parent->addMenu(caption) : menuBar()->addMenu(caption);
    menu->setObjectName(QLatin1String(name));
    menu->setAccessibleName(spoken);
    menu->menuAction()->setObjectName(QLatin1String(name));
    return menu;
}

void MainWindow::BuildMenus()
{
    menuBar()->setObjectName(QStringLiteral("MenuBar"));
    menuBar()->setAccessibleName(tr("Menu bar"));

    QMenu* file = AddMenu(nullptr, "mnuFile", tr("&File"), tr("File"));
    connect(AddItem(file, "mnuAbout", tr("&About")), &QAction::triggered, this, &MainWindow::ShowAbout);
    file->addSeparator()->setObjectName(QStringLiteral("mnuLine2"));
    connect(AddItem(file, "mnuNew", tr("&New")), &QAction::triggered, this, &MainWindow::New);
    connect(AddItem(file, "mnuLoad", tr("&Load")), &QAction::triggered, this, &MainWindow::Load);
    connect(AddItem(file, "mnuSave", tr("&Save")), &QAction::triggered, this, &MainWindow::Save);
    QMenu* print = AddMenu(file, "mnuPrint", tr("&Print"), tr("Print"));
    connect(AddItem(print, "mnuSummary", tr("&Summary")), &QAction::triggered, m_reports,
            &ReportCommands::PrintSummary);
    connect(AddItem(print, "mnuDetail", tr("&Detail")), &QAction::triggered, m_reports,
            &ReportCommands::PrintDetail);
    QMenu* preview = AddMenu(file, "mnuPrintPreview", tr("Print Pre&view"), tr("Print Preview"));
    connect(AddItem(preview, "mnuPreviewSummary", tr("&Summary")), &QAction::triggered, m_reports,
            &ReportCommands::PreviewSummary);
    connect(AddItem(preview, "mnuPreviewDetail", tr("&Detail")), &QAction::triggered, m_reports,
            &ReportCommands::PreviewDetail);
    file->addSeparator()->setObjectName(QStringLiteral("mnuLine1"));
    connect(AddItem(file, "mnuExit", tr("E&xit")), &QAction::triggered, this, &MainWindow::exitRequested);

    QMenu* view = AddMenu(nullptr, "mnuView", tr("&View"), tr("View"));
    m_mnuToolbar = AddItem(view, "mnuToolbar", tr("&Toolbar"));
    m_mnuToolbar->setCheckable(true);
    m_mnuToolbar->setChecked(true);
    // The item has already changed its check mark when this runs: checked now means show.
    connect(m_mnuToolbar, &QAction::triggered, this, [this](bool shown) {
        m_toolbarKnown = true;
        SetToolbarShown(shown);
    });
    connect(AddItem(view, "mnuViewDice", tr("&Dice")), &QAction::triggered, this, &MainWindow::ShowDice);
    connect(AddItem(view, "mnuViewInventory", tr("&Inventory")), &QAction::triggered, this,
            &MainWindow::inventoryRequested);

    QMenu* options = AddMenu(nullptr, "mnuOptions", tr("&Options"), tr("Options"));
    m_mnuStatsOver = AddItem(options, "mnuStatsOver", tr("Stats &Over 102"));
    m_mnuStatsOver->setCheckable(true);
    m_mnuStatsOver->setChecked(true);
    connect(m_mnuStatsOver, &QAction::triggered, this, [this](bool checked) {
        m_statsOverKnown = true;
        m_model.SetOver102(checked);
    });
    options->addSeparator()->setObjectName(QStringLiteral("mnuDash1"));
    connect(AddItem(options, "mnuSummaryTemplate", tr("&Summary Template")), &QAction::triggered, m_reports,
            &ReportCommands::ChooseSummaryTemplate);
    connect(AddItem(options, "mnuDetailTemplate", tr("&Detail Template")), &QAction::triggered, m_reports,
            &ReportCommands::ChooseDetailTemplate);
    // An ordinary item that has always been there and does nothing.
    AddItem(options, "mnuSpacer", QStringLiteral("------"));
}

QAction* MainWindow::MenuItem(const QString& name) const
{
    return findChild<QAction*>(name);
}

Status MainWindow::RestoreGeometry()
{
    const QRect screen = PrimaryScreenGeometry();
    const auto height = LoadWindowCoordinate(m_settings, m_appName, "FORM2HEIGHT", screen.height(), this);
    const auto stored = LoadWindowPlace(m_settings, m_appName, "FORM2", QPoint(0, 0), this);

    if (QLayout* own = layout())
        own->activate();
    const QSize extra = frameGeometry().size() - size();
    // A stored value that cannot be read is reported; Ignore then goes on with the default in its
    // place, and the sheet still fits the screen.
    QRect wanted(stored ? *stored : QPoint(0, 0),
                 QSize(frameGeometry().width(), std::max(1, height ? *height : screen.height())));
    // A place on no screen at all (a screen since removed) would leave the sheet out of reach.
    if (!OnSomeScreen(wanted))
        wanted.moveTopLeft(QPoint(0, 0));
    // Wholly on its screen and at least as tall as its minimum, whatever the store said; exit
    // then stores the corrected place.
    const QRect fitted = FitInto(wanted, AvailableAreaFor(wanted), minimumSize() + extra);
    move(fitted.topLeft());
    m_wantedFrameHeight = fitted.height();
    m_frameExtraUsed = extra.height();
    resize(width(), fitted.height() - m_frameExtraUsed);
    FitOnScreenWhenShown(this);
    if (!height)
        return height.Error();
    if (!stored)
        return stored.Error();
    return Success();
}

void MainWindow::ApplyStoredHeight()
{
    if (m_wantedFrameHeight <= 0)
        return;
    const int extra = frameGeometry().height() - height();
    if (extra == m_frameExtraUsed)
        return;
    m_frameExtraUsed = extra;
    const int wanted = m_wantedFrameHeight;
    m_wantedFrameHeight = 0;
    resize(width(), std::max(1, wanted - extra));
}

Status MainWindow::RestoreToolbar()
{
    const auto shown = m_settings.GetFlag(m_appName, "TOOLBAR", "CHECKED", false);
    // Unreadable, the item shows what is on screen: no toolbar.
    m_toolbarKnown = shown.Ok();
    SetToolbarShown(shown && *shown);
    if (!shown)
        return shown.Error();
    return Success();
}

Status MainWindow::RestoreStatsOver()
{
    const auto over = m_settings.GetFlag(m_appName, "OPTIONS", "STATSOVER", true);
    m_statsOverKnown = over.Ok();
    if (!over)
        return over.Error();
    m_mnuStatsOver->setChecked(*over);
    m_model.SetOver102(*over);
    return Success();
}

void MainWindow::SaveSettings()
{
    const QRect frame = frameGeometry();
    SaveWindowCoordinate(m_settings, m_appName, "FORM2HEIGHT", frame.height(), this);
    SaveWindowPlace(m_settings, m_appName, "FORM2", frame.topLeft(), this);
    // A flag that could not be read and that the user left alone keeps its stored text.
    if (m_toolbarKnown)
        (void)m_settings.SaveFlag(m_appName, "TOOLBAR", "CHECKED", m_mnuToolbar->isChecked());
    if (m_statsOverKnown)
        (void)m_settings.SaveFlag(m_appName, "OPTIONS", "STATSOVER", m_mnuStatsOver->isChecked());
}

void MainWindow::New()
{
    const BusyGuard busy;
    m_model.HandOverHeldEdits();
    ClearCharacter();
}

void MainWindow::ClearCharacter()
{
    m_model.ClearCharacter();
    // Clearing sets the name, empty or not, so the caption follows it from here on.
    ShowTitle();
}

void MainWindow::ShowTitle()
{
    m_shownTitle = m_model.Title();
    setWindowTitle(CaptionFor(m_shownTitle, m_model.Record().Name));
}

void MainWindow::Load()
{
    const auto chosen = m_dialog.ShowOpen(kCharacterFilter, kCharacterExtension);
    if (!chosen)
        return;
    Result<CharacterFileWarnings> read = KeldError();
    {
        const BusyGuard busy;
        m_model.HandOverHeldEdits();
        read = ReadCharacterFile(m_model, PathFromUtf8(chosen->toStdString()));
    }
    if (!read) {
        ShowFileError(tr("Load"), tr("The character could not be loaded."), read.Error(), *chosen);
        return;
    }
    ShowLoadWarnings(*read, *chosen);
}

// Everything a load that went through has to tell, in one box: names the rules data lacks (left
// blank) and pictures that cannot be shown, also while the inventory window is closed.
void MainWindow::ShowLoadWarnings(const CharacterFileWarnings& read, const QString& path)
{
    if (read.notFound.empty() && read.warnings.empty())
        return;
    QStringList lines;
    for (const KeldError& missing : read.notFound)
        lines << MessageBox::FileReason(missing, path);
    for (const KeldError& warning : read.warnings)
        lines << MessageBox::FileReason(warning, path);
    for (const auto* leftOut : {&read.notFoundLeftOut, &read.warningsLeftOut})
        for (const WarningsLeftOut& more : *leftOut)
            lines << QString::fromStdString(more.Line());
    QString text;
    if (read.warnings.empty())
        text = tr("The character was loaded, but some names are not in the rules data and are left blank.");
    else if (read.notFound.empty())
        text = tr("The character was loaded, but not all of it could be used.");
    else
        text = tr("The character was loaded, but some names are not in the rules data and are left blank, "
                  "and not all of the rest could be used.");
    MessageBox::Warning(this, tr("Load"), text, lines.join(u'\n'));
}

void MainWindow::Save()
{
    // A shortcut or the toolbar leaves the focus in the box being typed into; its edit is taken as
    // finished first, so the file gets the text the box shows once it is left.
    if (auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget()))
        emit edit->editingFinished();
    // So does a note typed into that still has the focus.
    m_model.HandOverHeldEdits();
    // A name with a slash or nothing at all would offer a path that fails or a hidden file.
    const QString initial = OfferedFileName(
        QString::fromStdString(m_model.Text(FieldId::General, int(GeneralField::Name))), kCharacterExtension);
    const auto chosen = m_dialog.ShowSave(kCharacterFilter, kCharacterExtension, &initial);
    if (!chosen)
        return;
    const Status written = WriteCharacterFile(m_model, PathFromUtf8(chosen->toStdString()));
    if (!written)
        ShowFileError(tr("Save"), tr("The character could not be saved."), written.Error(), *chosen);
}

void MainWindow::ShowFileError(const QString& title, const QString& text, const KeldError& error,
                               const QString& path)
{
    MessageBox::Warning(this, title, text, MessageBox::FileReason(error, path));
}

void MainWindow::ShowAbout()
{
    if (!m_about)
        m_about = new AboutBox(windowIcon(), m_logFile, this);
    m_about->Open();
}

void MainWindow::ShowDice()
{
    if (!m_dice)
        m_dice = new DiceWindow(m_settings, this);
    // The roller places itself; a stored place it cannot read is its own affair.
    (void)m_dice->Open();
    m_dice->raise();
    m_dice->activateWindow();
}

void MainWindow::EnsureToolbar()
{
    if (m_toolbar)
        return;
    const std::vector<ToolbarWindow::Position> positions = {
        {tr("New Character"), QStringLiteral("new"), MenuItem(QStringLiteral("mnuNew"))},
        {tr("Open Character"), QStringLiteral("open"), MenuItem(QStringLiteral("mnuLoad"))},
        {tr("Save Character"), QStringLiteral("save"), MenuItem(QStringLiteral("mnuSave"))},
        {},
        {tr("Detailed Print"), QStringLiteral("print"), MenuItem(QStringLiteral("mnuDetail"))},
        {},
        {tr("Show Dice"), QStringLiteral("dice"), MenuItem(QStringLiteral("mnuViewDice"))},
        {tr("Show History"), QStringLiteral("history"), MenuItem(QStringLiteral("mnuViewInventory"))},
        {},
        {tr("About"), QStringLiteral("about"), MenuItem(QStringLiteral("mnuAbout"))},
        {tr("Exit"), QStringLiteral("exit"), MenuItem(QStringLiteral("mnuExit"))},
    };
    // The sheet's part right of its panel, below the menu, shows nothing.
    auto spare = [this] {
        const QRect panel = m_view->Panel()->geometry();
        const QPoint topLeft = m_view->mapToGlobal(QPoint(panel.right() + 1, 0));
        return QRect(topLeft, m_view->mapToGlobal(QPoint(m_view->width() - 1, m_view->height() - 1)));
    };
    m_toolbar = new ToolbarWindow(this, positions, spare);
    // Closed by the window system rather than by the item: the item follows.
    connect(m_toolbar, &ToolbarWindow::closedByUser, this, [this] {
        m_toolbarKnown = true;
        m_mnuToolbar->setChecked(false);
    });
}

void MainWindow::SetToolbarShown(bool shown)
{
    m_mnuToolbar->setChecked(shown);
    if (shown) {
        EnsureToolbar();
        m_toolbar->show();
        m_toolbar->Dock();
    } else if (m_toolbar) {
        m_toolbar->hide();
    }
}

void MainWindow::DockToolbar()
{
    if (m_toolbar && m_toolbar->isVisible())
        m_toolbar->Dock();
}

void MainWindow::CloseDice()
{
    if (!m_dice || !m_dice->isVisible())
        return;
    m_dice->SavePosition();
    m_dice->hide();
}

void MainWindow::CloseReportWindow()
{
    m_reports->CloseReportWindow();
}

void MainWindow::CloseToolbarAndAbout()
{
    // Hidden, not closed: the Toolbar item keeps its check mark for the settings.
    if (m_toolbar)
        m_toolbar->hide();
    if (m_about)
        m_about->hide();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit closeRequested();
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    ApplyStoredHeight();
    DockToolbar();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    ApplyStoredHeight();
    DockToolbar();
}

} // namespace keld
