// The settings dialog's model: the sink list and what a choice writes, the draft of changes
// behind OK/Apply/Cancel, and the search thread.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "PanelSettings.h"
#include "SinkList.h"
#include "SinkSearch.h"
#include "settings/TempFolder.h"

namespace {

TERNO::Address address(const char* text, uint16_t port, uint16_t scope) {
    TERNO::Address a{};
    EXPECT_TRUE(a.parse(text));
    a.setPortNumber(port);
    a.scope = scope;
    return a;
}

// Sink A (fe80::101) with outputs 1 and 2, sink B (fe80::102) with output 1, on interface 3.
VELMORA::TargetMap twoSinks() {
    VELMORA::TargetMap targets;
    const auto add = [&](const char* sink, uint16_t port, uint16_t index, const char* description) {
        VELMORA::Target target;
        target.outputIndex = index;
        target.version = 1;
        target.description = description;
        target.findAddress = address(sink, 19642, 3);
        targets[address(sink, port, 3)] = target;
    };
    add("fe80::101", 5001, 1, "A(Room)");
    add("fe80::101", 5002, 2, "A");
    add("fe80::102", 6001, 1, "B \xC3\x85ngstr\xC3\xB6m");
    return targets;
}

// The model opened as the dialog opens it: the per-user file made from the factory file.
class PanelModel : public ::testing::Test, protected EditorFolders {
protected:
    PanelModel()
        : EditorFolders("; factory\r\nVersion=5\r\nASIOControlPanel=velmora-panel.exe\r\nStartDelay=0\r\n") {}
    void SetUp() override { ASSERT_TRUE(settings.open(error)) << error; }
    PanelSettings settings{environment};
    std::string error;
};

std::vector<std::string> marks(const std::vector<SinkRow>& rows) {
    std::vector<std::string> out;
    for (const SinkRow& row : rows) out.push_back(sinkCells(row)[4]);
    return out;
}

}  // namespace

TEST_F(PanelModel, MarksTheOutputTheDriverUses) {
    const struct {
        const char* settings;
        std::vector<std::string> marks;
        int chosen;
    } cases[] = {
        {"", {"first found", "", ""}, automaticRow},
        {"TargetAddress=fe80::102,19642\r\nTargetPO=1\r\n", {"", "", "in use"}, 2},
        // Only the address bytes and the output index find the target.
        {"TargetAddress=fe80::101,7\r\nTargetPO=2\r\n", {"", "in use", ""}, 1},
        // Not on the network: listed after the others, still in use.
        {"TargetAddress=fe80::5,19642\r\nTargetPO=1\r\n", {"", "", "", "in use"}, 3},
        // The driver clears an address without a port: automatic.
        {"TargetAddress=fe80::102\r\nTargetPO=1\r\n", {"first found", "", ""}, automaticRow},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        platform::writeFile(userFile(), std::string("Version=5\r\n") + c.settings);
        PanelSettings settings(environment);
        ASSERT_TRUE(settings.open(error)) << error;
        const std::vector<SinkRow> rows = sinkRows(twoSinks(), settings.inUse());
        EXPECT_EQ(marks(rows), c.marks);
        EXPECT_EQ(chosenRow(rows, settings.value("TargetAddress"), settings.value("TargetPO")), c.chosen);
        const std::string status = searchStatus(false, true, rows);
        EXPECT_EQ(status.find("3 outputs found on 2 sinks."), 0u) << status;
        EXPECT_EQ(status.find("fe80::5 (output 1) did not answer") != std::string::npos, c.marks.size() == 4);
    }
    EXPECT_EQ(searchStatus(false, true, {}).find("No sink found"), 0u);
    EXPECT_EQ(searchStatus(false, false, {}).find("The search failed"), 0u);
    EXPECT_EQ(searchStatus(true, true, {}), "Searching for sinks...");
    const SinkRow row = sinkRows(twoSinks(), SettingsKeyValues{})[2];
    EXPECT_EQ(sinkCells(row), (std::vector<std::string>{"B \xC3\x85ngstr\xC3\xB6m", "1", "fe80::102%3 port 6001", "1",
                                                         "", ""}));
}

// Choosing a row, applying, and the driver reading the file: it then uses that output.
TEST_F(PanelModel, AChoiceIsWhatTheDriverReadsNext) {
    const std::vector<SinkRow> found = sinkRows(twoSinks(), settings.inUse());
    for (int choice : {2, 1, automaticRow}) {
        SCOPED_TRACE(choice);
        for (const auto& [key, value] : choiceKeys(choice < 0 ? nullptr : &found[choice]))
            EXPECT_EQ(settings.set(key, value), "") << key;
        EXPECT_EQ(chosenRow(found, settings.value("TargetAddress"), settings.value("TargetPO")), choice);
        EXPECT_EQ(settings.apply(), "");
        DriverSettings driver;
        driver.load(environment);
        const std::vector<SinkRow> rows = sinkRows(twoSinks(), driver);
        EXPECT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[choice < 0 ? 0 : choice].mark, choice < 0 ? SinkMark::FirstFound : SinkMark::InUse);
        EXPECT_EQ(VELMORA::isZeroAddress(driver.targetAddress), choice < 0);
    }
    EXPECT_EQ(TempFolder::read(userFile()).find("Target"), std::string::npos);   // automatic removes both
}

TEST_F(PanelModel, ChangesReachTheFileOnlyOnApply) {
    const std::string created = TempFolder::read(userFile());
    EXPECT_NE(created.find("; factory"), std::string::npos);

    // Refused values leave the draft alone and say why, in the key table's words.
    EXPECT_NE(settings.set("DSDMSB", "Enable").find("case matters"), std::string::npos);
    EXPECT_FALSE(settings.changed());
    EXPECT_EQ(settings.apply(), "");
    EXPECT_EQ(TempFolder::read(userFile()), created);   // nothing to write: not even rewritten

    EXPECT_EQ(settings.set("StartDelay", " 250000 "), "");
    EXPECT_EQ(settings.set("CycleTime", "2000", true), "");
    EXPECT_EQ(settings.value("StartDelay"), "250000");
    EXPECT_TRUE(settings.changed());
    EXPECT_EQ(TempFolder::read(userFile()), created);
    settings.discard();   // Cancel
    EXPECT_EQ(settings.value("StartDelay"), "0");
    EXPECT_FALSE(settings.changed());

    EXPECT_EQ(settings.set("StartDelay", "250000"), "");
    EXPECT_EQ(settings.apply(), "");
    EXPECT_EQ(settings.inUse().startDelay, 250000u);
    EXPECT_FALSE(settings.changed());

    EXPECT_EQ(settings.restoreFactory(), "");
    EXPECT_EQ(settings.value("StartDelay"), "0");
    EXPECT_EQ(settings.inUse().startDelay, 250000u);   // until applied
    EXPECT_EQ(settings.apply(), "");
    EXPECT_TRUE(userFileIsFactory());
}

// Every value the Settings page offers is one the driver takes.
TEST_F(PanelModel, OfferedValuesAreAccepted) {
    for (const MainSetting& setting : mainSettings()) {
        for (const ValueChoice& choice : setting.choices) EXPECT_EQ(settings.set(setting.key, choice.value), "") << setting.key;
        if (setting.choices.size() > 1) {
            EXPECT_EQ(choiceIndex(setting, ""), 0) << setting.key;
        }
    }
    EXPECT_EQ(choiceIndex(mainSettings()[1], "CovertS32"), 4);
    EXPECT_EQ(choiceIndex(mainSettings()[1], "20"), -1);
}

namespace {

// A finder whose search waits until the test lets it end.
class HeldFinder : public asio_velmora_find {
public:
    bool getTargets(VELMORA::TargetMap& targets, const std::vector<TERNO::Address>& extra, uint16_t index) override {
        asked = {extra, index};
        released.wait();
        targets = twoSinks();
        return true;
    }
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::pair<std::vector<TERNO::Address>, uint16_t> asked;
};

}  // namespace

TEST(SinkSearching, RunsBesideTheCallerOneAtATime) {
    HeldFinder finder;
    std::atomic<int> endings{0};
    SinkSearch search(finder, [&] { ++endings; });
    EXPECT_FALSE(search.take());
    const std::vector<TERNO::Address> extra{address("fe80::9", 19642, 0)};
    ASSERT_TRUE(search.start(extra, 4));   // returns while the finder still waits
    EXPECT_TRUE(search.searching());
    EXPECT_FALSE(search.start({}, 0));
    EXPECT_FALSE(search.take());
    finder.release.set_value();
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         endings == 0 && std::chrono::steady_clock::now() < until;)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(endings.load(), 1);
    EXPECT_FALSE(search.searching());
    const auto result = search.take();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->complete);
    EXPECT_EQ(result->targets.size(), 3u);
    EXPECT_EQ(finder.asked, std::make_pair(extra, uint16_t{4}));
    EXPECT_FALSE(search.take());
    ASSERT_TRUE(search.start({}, 0));   // again; the destructor waits for it
}
