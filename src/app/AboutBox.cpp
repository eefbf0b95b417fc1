// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AboutBox.h"

#include "common/TextFile.h"
#include "ui/MessageBox.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <algorithm>

namespace keld {

namespace {

QFrame* Line(QWidget* parent, const char* name)
{
    auto* line = new QFrame(parent);
    line->setObjectName(QLatin1String(name));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel* Label(QWidget* parent, const char* name, const QString& accessibleDescription)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setAccessibleDescription(accessibleDescription);
    return label;
}

} // namespace

AboutBox::AboutBox(const QIcon& icon, std::filesystem::path logFile, QWidget* parent)
    : QDialog(parent), m_logFile(std::move(logFile)), m_sysInfoPrograms(DefaultSystemInfoPrograms())
{
    setObjectName(QStringLiteral("frmAbout"));
    setModal(false);
    setWindowIcon(icon);

    m_picIcon = new QLabel(this);
    m_picIcon->setObjectName(QStringLiteral("picIcon"));
    m_picIcon->setAccessibleName(tr("Program icon"));
    m_picIcon->setPixmap(icon.pixmap(QSize(48, 48), devicePixelRatioF()));
    m_picIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    m_lblTitle = Label(this, "lblTitle", tr("Title"));
    QFont titleFont = m_lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    m_lblTitle->setFont(titleFont);
    m_lblVersion = Label(this, "lblVersion", tr("Version"));
    m_lblDescription = Label(this, "lblDescription", tr("Description"));
    m_lblDisclaimer = Label(this, "lblDisclaimer", tr("Legal notices"));

    m_txtLog = new QPlainTextEdit(this);
    m_txtLog->setObjectName(QStringLiteral("txtLog"));
    m_txtLog->setAccessibleName(tr("Release history"));
    m_txtLog->setReadOnly(true);
    m_txtLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The history is laid out in columns: kept as written, in a fixed-pitch face, and wide
    // enough for its lines (a longer one scrolls rather than breaking the indentation).
    m_txtLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setStyleHint(QFont::Monospace);
    fixed.setFixedPitch(true);
    m_txtLog->setFont(fixed);

    m_cmdOK = new QPushButton(tr("OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setAccessibleName(tr("OK"));
    m_cmdOK->setDefault(true);
    m_cmdSysInfo = new QPushButton(tr("&System Info..."), this);
    m_cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    m_cmdSysInfo->setAccessibleName(tr("System Info"));
    connect(m_cmdOK, &QPushButton::clicked, this, &QDialog::close);
    connect(m_cmdSysInfo, &QPushButton::clicked, this, &AboutBox::StartSysInfo);

    auto* heading = new QVBoxLayout;
    heading->addWidget(m_lblTitle);
    heading->addWidget(m_lblVersion);
    heading->addWidget(m_lblDescription);
    auto* top = new QHBoxLayout;
    top->addWidget(m_picIcon, 0, Qt::AlignTop);
    top->addLayout(heading, 1);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdSysInfo);
    buttons->addStretch(1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_lblDisclaimer, 1);
    bottom->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Line(this, "Line1"));
    layout->addWidget(m_txtLog, 1);
    layout->addWidget(Line(this, "Line2"));
    layout->addLayout(bottom);
    resize(520, 440);
}

QString AboutBox::ApplicationTitle()
{
    return tr("KELD Character Generator");
}

QString AboutBox::VersionText()
{
    return QStringLiteral("Version %1.%2.%3")
        .arg(KELD_VERSION_MAJOR)
        .arg(KELD_VERSION_MINOR)
        .arg(KELD_VERSION_REVISION);
}

std::optional<QString> AboutBox::LogText(const std::filesystem::path& logFile)
{
    // The history is shown whole in a text box; a larger file is not read.
    constexpr std::uintmax_t kMaxLogBytes = 1u << 20;
    auto lines = ReadTextFileLines(logFile, LineEnds::CrLfOrCrOrLf, kMaxLogBytes);
    if (!lines)
        return std::nullopt;
    QString text;
    for (const std::string& line : *lines)
        text += u'\n' + QString::fromStdString(line);
    return text;
}

void AboutBox::Fill()
{
    setWindowTitle(tr("About ") + ApplicationTitle());
    m_lblVersion->setText(VersionText());
    m_lblTitle->setText(ApplicationTitle());
    m_lblDescription->setText(
        tr("Builds one character at a time for the KELD role-playing rules: stats, race, profession, "
           "youth, skills, armour, languages and spells on one sheet, with notes, money and a picture "
           "beside it, saved as character files and printed as reports."));
    m_lblDisclaimer->setText(tr("KELD and KELD Character Generator are the names of this program and its "
                                "game rules.") +
                             u'\n' +
                             tr("Free software under the GNU General Public License, version 3 or later.") +
                             u'\n' + tr("This program comes as it is, without warranty of any kind."));
    const auto log = LogText(m_logFile);
    m_txtLog->setPlainText(log ? *log : tr("The release history (keldcg.log) could not be read."));

    // Wide enough for the longest line of the history, as far as the screen allows.
    const QFontMetrics metrics(m_txtLog->font());
    int widest = 0;
    for (const QString& line : m_txtLog->toPlainText().split(u'\n'))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const int chrome = width() - m_txtLog->viewport()->width() + 2 * metrics.averageCharWidth();
    int wanted = std::max(width(), widest + chrome);
    if (const QScreen* shown = screen())
        wanted = std::min(wanted, shown->availableGeometry().width() * 9 / 10);
    if (wanted > width())
        resize(wanted, height());
}

void AboutBox::Open()
{
    Fill();
    show();
    raise();
    activateWindow();
}

QStringList AboutBox::DefaultSystemInfoPrograms()
{
    return {QStringLiteral("hardinfo2"),          QStringLiteral("hardinfo"),
            QStringLiteral("kinfocenter"),        QStringLiteral("cpu-x"),
            QStringLiteral("lshw-gtk"),           QStringLiteral("gnome-system-monitor"),
            QStringLiteral("mate-system-monitor")};
}

void AboutBox::StartSysInfo()
{
    for (const QString& program : m_sysInfoPrograms) {
        const QString path = QStandardPaths::findExecutable(program);
        if (!path.isEmpty() && QProcess::startDetached(path, {}))
            return;
    }
    MessageBox::Show(this, QMessageBox::Information, ApplicationTitle(),
                     tr("System Information Is Unavailable At This Time"), QMessageBox::Ok);
}

} // namespace keld
