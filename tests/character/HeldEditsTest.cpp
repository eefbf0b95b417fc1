// SPDX-License-Identifier: GPL-3.0-or-later
#include "SheetFixture.h"

#include <memory>
#include <optional>

namespace keld::test {
namespace {

constexpr int kJournal = static_cast<int>(NoteKind::Journal);

// A view that holds a typed journal back until it is asked for it, as the inventory window does.
class HeldJournal {
public:
    explicit HeldJournal(SheetModel& model)
        : m_model(model), m_registration(model.RegisterHeldEdits([this] { HandOver(); }))
    {
    }

    std::optional<std::string> held;
    int handOvers = 0;

private:
    void HandOver()
    {
        ++handOvers;
        if (std::optional<std::string> text = std::exchange(held, std::nullopt))
            (void)m_model.EditText(FieldId::Note, kJournal, *text);
    }

    SheetModel& m_model;
    HeldEditsRegistration m_registration;
};

TEST_F(SheetTest, ReadsLeaveHeldTextWhereItIs)
{
    HeldJournal view(sheet);
    Recorder recorder;
    sheet.AddObserver(&recorder);
    view.held = "Journal - met Quill";

    const SheetModel& reader = sheet;
    EXPECT_EQ(reader.Record().Note(NoteKind::Journal), "Journal -");
    EXPECT_EQ(reader.Text(FieldId::Note, kJournal), "Journal -");
    EXPECT_EQ(view.handOvers, 0);
    EXPECT_TRUE(recorder.changes.empty());

    // A command asks for it once; the record then has it, and the observers hear of it.
    sheet.HandOverHeldEdits();
    EXPECT_EQ(reader.Record().Note(NoteKind::Journal), "Journal - met Quill");
    const std::vector<std::pair<FieldId, int>> journal{{FieldId::Note, kJournal}};
    EXPECT_EQ(recorder.changes, journal);
    sheet.HandOverHeldEdits(); // nothing held: nothing changes
    EXPECT_EQ(recorder.changes, journal);
    sheet.RemoveObserver(&recorder);
}

// A note written by a file, New or the rules is compared with the typed text, not a stale note:
// writing the text the record held before the keys still replaces them.
TEST_F(SheetTest, ANoteWriteTakesTheHeldTextFirst)
{
    HeldJournal view(sheet);
    view.held = "Journal - typed";
    EXPECT_TRUE(sheet.WriteNote(NoteKind::Journal, "Journal -"));
    EXPECT_EQ(sheet.Record().Note(NoteKind::Journal), "Journal -");
    EXPECT_FALSE(view.held);

    view.held = "Journal - typed again";
    sheet.ClearCharacter();
    EXPECT_EQ(sheet.Record().Note(NoteKind::Journal), "Journal -");
    EXPECT_FALSE(view.held);

    // Writing another note hands the journal over too, and keeps it.
    view.held = "Journal - kept";
    EXPECT_TRUE(sheet.WriteNote(NoteKind::Background, "Background - born"));
    EXPECT_EQ(sheet.Record().Note(NoteKind::Journal), "Journal - kept");
}

TEST(HeldEditsRegistration, EndsExactlyItsOwnRegistration)
{
    SheetModel sheet;
    std::string calls;
    auto counting = [&](char name) { return sheet.RegisterHeldEdits([&calls, name] { calls += name; }); };

    HeldEditsRegistration a = counting('a');
    HeldEditsRegistration b = counting('b');
    sheet.HandOverHeldEdits();
    EXPECT_EQ(calls, "ab"); // in the order they registered

    // The first view goes after a second one registered: the second stays.
    calls.clear();
    a = HeldEditsRegistration();
    sheet.HandOverHeldEdits();
    EXPECT_EQ(calls, "b");

    // Moved, the registration goes with its new owner; the empty one ends nothing.
    calls.clear();
    HeldEditsRegistration moved = std::move(b);
    b.Reset();
    sheet.HandOverHeldEdits();
    EXPECT_EQ(calls, "b");

    // Assigned over, the old registration ends and the new one stays.
    calls.clear();
    moved = counting('c');
    sheet.HandOverHeldEdits();
    EXPECT_EQ(calls, "c");
    moved.Reset();
    moved.Reset();
    calls.clear();
    sheet.HandOverHeldEdits();
    EXPECT_EQ(calls, "");

    // Nothing to hand over registers nothing.
    HeldEditsRegistration none = sheet.RegisterHeldEdits({});
    sheet.HandOverHeldEdits();
    EXPECT_EQ(calls, "");
}

TEST(HeldEditsRegistration, AHandOverMayEndAnotherOrOutliveTheModel)
{
    auto sheet = std::make_unique<SheetModel>();
    std::string calls;
    HeldEditsRegistration second;
    HeldEditsRegistration first = sheet->RegisterHeldEdits([&] {
        calls += 'a';
        second.Reset(); // the view it belongs to closes meanwhile
    });
    second = sheet->RegisterHeldEdits([&] { calls += 'b'; });
    sheet->HandOverHeldEdits();
    EXPECT_EQ(calls, "a");

    // A view kept past the model ends its registration without touching it.
    second = sheet->RegisterHeldEdits([&] { calls += 'b'; });
    sheet.reset();
    first.Reset();
    second = HeldEditsRegistration();
    EXPECT_EQ(calls, "a");
}

} // namespace
} // namespace keld::test
