// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheet/ArmorLanguageSpellArea.h"
#include "SheetFixture.h"
#include "sheet/PanelComboBox.h"
#include "sheet/SheetView.h"
#include "ui/Twips.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>

#include <memory>
#include <vector>

using namespace keld;
using namespace keld::test;

namespace {

// Records every change of the record's name and percent fields, with the text it left.
class TextLog : public SheetObserver {
public:
    explicit TextLog(SheetModel& model) : m_model(model) { m_model.AddObserver(this); }
    ~TextLog() override { m_model.RemoveObserver(this); }
    void FieldChanged(FieldId id, int index) override
    {
        const char* kind = id == FieldId::ArmorType      ? "armor"
                           : id == FieldId::LanguageName ? "language"
                           : id == FieldId::SpellName    ? "spell"
                           : id == FieldId::SpellPercent ? "percent"
                                                         : nullptr;
        if (kind)
            Entries.push_back(QStringLiteral("%1 %2=%3")
                                  .arg(kind)
                                  .arg(index)
                                  .arg(QString::fromStdString(m_model.Text(id, index))));
    }
    std::vector<QString> Entries;

private:
    SheetModel& m_model;
};

// The sheet's model with the shipped tables after start-up, and the area over it.
struct Sheet : SheetParts {
    Sheet()
    {
        LoadTables();
        model.FillLists(&tables);
        model.ClearCharacter();
        area = std::make_unique<ArmorLanguageSpellArea>(binding);
        binding.RefreshAll();
        area->show();
    }

    template <typename T> T* Find(const QString& name) const { return FindControl<T>(area.get(), name); }

    QString Text(FieldId id, int index) const { return QString::fromStdString(model.Text(id, index)); }

    std::unique_ptr<ArmorLanguageSpellArea> area;
};

void Click(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

} // namespace

class ArmorLanguageSpellAreaTest : public QObject {
    Q_OBJECT
private slots:
    void ArmorPiecesRewriteAndLockTheirRows_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("firstRow");
        QTest::addColumn<int>("lastRow");
        QTest::addColumn<QString>("modifier");
        QTest::newRow("helm") << "chkHelm" << 22 << 22 << "-5";
        QTest::newRow("shield") << "chkShield" << 31 << 31 << "25";
        QTest::newRow("arm greaves") << "chkArmGreaves" << 5 << 10 << "-5";
        QTest::newRow("leg greaves") << "chkLegGreaves" << 0 << 4 << "-5";
    }

    // Ticking writes the modifier into exactly the piece's rows and locks them; clearing leaves
    // "0" whatever was typed before, and unlocks.
    void ArmorPiecesRewriteAndLockTheirRows()
    {
        QFETCH(QString, box);
        QFETCH(int, firstRow);
        QFETCH(int, lastRow);
        QFETCH(QString, modifier);
        Sheet sheet;
        for (int row = 0; row < kSkillCount; ++row)
            QVERIFY(sheet.model.EditText(FieldId::Item1, row, "10"));
        auto* check = sheet.Find<QCheckBox>(box);

        const auto expectRows = [&](const QString& ours, bool locked) {
            for (int row = 0; row < kSkillCount; ++row) {
                const bool inside = row >= firstRow && row <= lastRow;
                QCOMPARE(sheet.Text(FieldId::Item1, row), inside ? ours : QStringLiteral("10"));
                QCOMPARE(sheet.model.Item1Locked(row), inside && locked);
            }
        };

        Click(check);
        QCOMPARE(check->checkState(), Qt::Checked);
        expectRows(modifier, true);
        // Space on the focused box is the same click.
        check->setFocus();
        QTest::keyClick(check, Qt::Key_Space);
        QCOMPARE(check->checkState(), Qt::Unchecked);
        expectRows("0", false);
    }

    // A greyed piece from a file shows partially checked and counts as worn; a click takes it
    // off, the next one checks it fully.
    void GreyedPieceShowsPartiallyChecked()
    {
        Sheet sheet;
        auto* helm = sheet.Find<QCheckBox>("chkHelm");
        QVERIFY(sheet.model.SetArmorPiece(ArmorPiece::Helm, CheckState::Greyed));
        QCOMPARE(helm->checkState(), Qt::PartiallyChecked);
        QCOMPARE(sheet.Text(FieldId::Item1, 22), QStringLiteral("-5"));
        QVERIFY(sheet.model.Item1Locked(22));

        Click(helm);
        QCOMPARE(sheet.model.Record().Helm, CheckState::Clear);
        QCOMPARE(helm->checkState(), Qt::Unchecked);
        QVERIFY(!sheet.model.Item1Locked(22));
        Click(helm);
        QCOMPARE(sheet.model.Record().Helm, CheckState::Checked);
        QCOMPARE(helm->checkState(), Qt::Checked);

        // New clears a piece that a file left greyed.
        QVERIFY(sheet.model.SetArmorPiece(ArmorPiece::Shield, CheckState::Greyed));
        sheet.model.ClearCharacter();
        QCOMPARE(sheet.Find<QCheckBox>("chkShield")->checkState(), Qt::Unchecked);
        QVERIFY(!sheet.model.Item1Locked(31));
    }

    // Clicks cycle 0..5 and wrap; Space cycles the focused label.
    void LanguageRankCycles()
    {
        Sheet sheet;
        auto* rank = sheet.Find<QLabel>("lblLanguage_3");
        QCOMPARE(rank->text(), QStringLiteral("0"));
        for (const char* expected : {"1", "2", "3", "4", "5", "0"}) {
            Click(rank);
            QCOMPARE(sheet.Text(FieldId::LanguageRank, 3), QString::fromLatin1(expected));
            QCOMPARE(rank->text(), QString::fromLatin1(expected));
        }
        QCOMPARE(sheet.Text(FieldId::LanguageRank, 2), QStringLiteral("0"));

        // A rank from a file shows as it stands.
        QVERIFY(sheet.model.WriteLanguageRank(3, "2.5"));
        QCOMPARE(rank->text(), QStringLiteral("2.5"));

        rank->setFocus();
        QTest::keyClick(rank, Qt::Key_Space);
        QCOMPARE(rank->text(), QStringLiteral("3.5"));

        // A press that leaves the label before the release is no click.
        QTest::mousePress(rank, Qt::LeftButton, {}, rank->rect().center());
        QTest::mouseRelease(rank, Qt::LeftButton, {}, rank->rect().bottomRight() + QPoint(5, 5));
        QCOMPARE(rank->text(), QStringLiteral("3.5"));
    }

    // Typing and choosing write the record as the box shows it; the wheel over a list that
    // has no focus leaves it alone.
    void UserEditsWriteTheRecord()
    {
        Sheet sheet;
        auto* language = sheet.Find<QComboBox>("lstLanguages_2");
        language->setFocus();
        // "E" completes to a listed name; the next letter replaces the completion.
        QTest::keyClicks(language->lineEdit(), "Elvish");
        QCOMPARE(sheet.Text(FieldId::LanguageName, 2), QStringLiteral("Elvish"));
        QCOMPARE(language->currentText(), QStringLiteral("Elvish"));
        QCOMPARE(language->count(), 21);

        auto* spell = sheet.Find<QComboBox>("lstSpells_6");
        spell->setCurrentIndex(spell->findText("Lore"));
        QCOMPARE(sheet.Text(FieldId::SpellName, 6), QStringLiteral("Lore"));
        QCOMPARE(spell->count(), 40);

        auto* percent = sheet.Find<QLineEdit>("txtSpell_4");
        percent->setFocus();
        percent->selectAll();
        QTest::keyClicks(percent, "85");
        QCOMPARE(sheet.Text(FieldId::SpellPercent, 4), QStringLiteral("85"));

        auto* armor = sheet.Find<QComboBox>("lstArmor");
        armor->setCurrentIndex(armor->findText("Plate"));
        QCOMPARE(sheet.Text(FieldId::ArmorType, 0), QStringLiteral("Plate"));
        armor->setFocus();
        armor->lineEdit()->selectAll();
        QTest::keyClicks(armor->lineEdit(), "Mail shirt");
        QTest::keyClick(armor->lineEdit(), Qt::Key_Return);
        QCOMPARE(sheet.Text(FieldId::ArmorType, 0), QStringLiteral("Mail shirt"));
        QCOMPARE(armor->count(), 5);

        auto* other = sheet.Find<QComboBox>("lstSpells_0");
        QVERIFY(!other->hasFocus());
        const QPointF at = other->rect().center();
        QWheelEvent wheel(at, other->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, {}, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(other, &wheel);
        QCOMPARE(sheet.Text(FieldId::SpellName, 0), QString());
        QCOMPARE(other->currentText(), QString());
    }

    // Showing a value written by the model (a file, New) never writes it back: each write is
    // seen once, and the boxes show the record's texts exactly.
    void ModelWritesRefreshWithoutWriteBack()
    {
        Sheet sheet;
        auto* language = sheet.Find<QComboBox>("lstLanguages_0");
        auto* spell = sheet.Find<QComboBox>("lstSpells_7");
        auto* armor = sheet.Find<QComboBox>("lstArmor");
        auto* percent = sheet.Find<QLineEdit>("txtSpell_7");
        QCOMPARE(language->currentText(), QString());
        QCOMPARE(armor->currentText(), QStringLiteral("None"));

        TextLog log(sheet.model);
        QVERIFY(sheet.model.WriteLanguageName(0, "Caldori"));
        QVERIFY(sheet.model.WriteSpellName(7, "Fire Law"));
        QVERIFY(sheet.model.WriteArmorType("Chain"));
        QVERIFY(sheet.model.WriteSpellPercent(7, "40"));
        QVERIFY(sheet.model.WriteLanguageName(0, "Elvish"));
        const std::vector<QString> writes{"language 0=Caldori", "spell 7=Fire Law", "armor 0=Chain",
                                          "percent 7=40", "language 0=Elvish"};
        QCOMPARE(log.Entries, writes);
        QCOMPARE(language->currentText(), QStringLiteral("Elvish"));
        QCOMPARE(language->currentIndex(), -1);
        QCOMPARE(spell->currentText(), QStringLiteral("Fire Law"));
        QCOMPARE(spell->currentIndex(), spell->findText("Fire Law"));
        QCOMPARE(armor->currentText(), QStringLiteral("Chain"));
        QCOMPARE(percent->text(), QStringLiteral("40"));

        log.Entries.clear();
        sheet.model.ClearCharacter();
        for (int i = 0; i < kLanguageCount; ++i)
            QCOMPARE(sheet.Find<QComboBox>(QStringLiteral("lstLanguages_%1").arg(i))->currentText(),
                     QString());
        QCOMPARE(spell->currentText(), QString());
        QCOMPARE(armor->currentText(), QStringLiteral("None"));
        QCOMPARE(percent->text(), QStringLiteral("0"));
        // Only the fields that changed were written, each once.
        const std::vector<QString> cleared{"language 0=", "spell 7=", "percent 7=0", "armor 0=None"};
        QCOMPARE(log.Entries, cleared);
    }

    // Everything fits the panel's width and the area's fixed height.
    // A spell list's name longer than its box is given whole by the tooltip.
    // The editable lists' text fields speak their list's name, the ranks their slot; a comma
    // cannot stand in a language or spell list name, and the box says why.
    void NamesForScreenReadersAndRefusedCommas()
    {
        Sheet sheet;
        sheet.area->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(sheet.area.get()));
        QCOMPARE(sheet.Find<QComboBox>("lstArmor")->lineEdit()->accessibleName(),
                 QStringLiteral("Body armor"));
        for (int i = 0; i < kLanguageCount; ++i) {
            const QString number = QString::number(i + 1);
            QCOMPARE(
                sheet.Find<QComboBox>(QStringLiteral("lstLanguages_%1").arg(i))->lineEdit()->accessibleName(),
                QStringLiteral("Language %1 name").arg(number));
            QCOMPARE(
                sheet.Find<QComboBox>(QStringLiteral("lstSpells_%1").arg(i))->lineEdit()->accessibleName(),
                QStringLiteral("Spell list %1 name").arg(number));
            auto* rank = sheet.Find<QLabel>(QStringLiteral("lblLanguage_%1").arg(i));
            QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(rank);
            QCOMPARE(spoken->text(QAccessible::Name), QStringLiteral("Language %1 rank").arg(number));
            QCOMPARE(spoken->text(QAccessible::Value), rank->text());
        }

        QToolTip::hideText();
        QLineEdit* language = sheet.Find<QComboBox>("lstLanguages_2")->lineEdit();
        language->setFocus();
        QTest::keyClicks(language, "Old, High");
        QCOMPARE(sheet.Text(FieldId::LanguageName, 2), QStringLiteral("Old High"));
        QVERIFY2(QToolTip::text().contains(u"language name"), qPrintable(QToolTip::text()));
        QToolTip::hideText();
        QLineEdit* spells = sheet.Find<QComboBox>("lstSpells_5")->lineEdit();
        spells->setFocus();
        QGuiApplication::clipboard()->setText(QStringLiteral("Fire,\nLaw"));
        QTest::keySequence(spells, QKeySequence::Paste);
        QCOMPARE(sheet.Text(FieldId::SpellName, 5), QStringLiteral("Fire Law"));
        QVERIFY2(QToolTip::text().contains(u"spell list name"), qPrintable(QToolTip::text()));
        QToolTip::hideText();
    }

    void LongSpellNameShowsWholeInTheTooltip()
    {
        Sheet sheet;
        auto* list = sheet.Find<PanelComboBox>(QStringLiteral("lstSpells_0"));
        list->setCurrentIndex(list->findText(QStringLiteral("Physical Enhancement")));
        QCOMPARE(sheet.Text(FieldId::SpellName, 0), QStringLiteral("Physical Enhancement"));
        QVERIFY(list->IsElided());
        // The pointer rests on the list's edit box, which passes the question on.
        QWidget* edit = list->lineEdit();
        QHelpEvent help(QEvent::ToolTip, QPoint(3, 3), edit->mapToGlobal(QPoint(3, 3)));
        QApplication::sendEvent(edit, &help);
        QVERIFY2(QToolTip::text().startsWith(u"Physical Enhancement"), qPrintable(QToolTip::text()));
    }

    void FitsItsPlaceOnThePanel()
    {
        Sheet sheet;
        QCOMPARE(sheet.area->height(), TwipsToPx(ArmorLanguageSpellArea::kHeightTwips, sheet.area.get()));
        QVERIFY(sheet.area->layout()->minimumSize().width() <=
                TwipsToPx(SheetView::kPanelWidthTwips, sheet.area.get()));
        QVERIFY(sheet.area->layout()->minimumSize().height() <= sheet.area->height());
    }
};

QTEST_MAIN(ArmorLanguageSpellAreaTest)
#include "ArmorLanguageSpellAreaTest.moc"
