// velmora-find run as a program in the test network's host namespace.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "SinkFarm.h"
#include "TestNet.h"

using namespace testnet;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

// Runs the tool with arguments; its standard output is captured, standard error dropped.
ToolRun tool(const std::string& arguments) {
    ToolRun run;
    const std::string command = "timeout 20 " VELMORA_FIND_TOOL " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace

TEST(VelmoraFindProgram, ListsSinksAsTableAndJsonAndReportsNothingFoundAndBadInterfaces) {
    TESTNET_REQUIRED();
    SinkFarm farm;
    sink::FindResponderConfig config = plainSink("Box", 0);
    config.outputs = {{5001, 1, "Room"}, {5002, 2, "Later"}, {5003, 1, ""}};
    ASSERT_TRUE(farm.start(1, config));
    ASSERT_TRUE(farm.start(9, plainSink("Far", 1)));

    const ToolRun json = tool("--json");
    ASSERT_EQ(json.status, 0) << json.out;
    const std::string link1 = std::to_string(linkIndex("link1"));
    // The driver's finder names each output after its sink: "description(output name)".
    EXPECT_NE(json.out.find(R"x("description": "Box(Room)", "outputName": "", "outputIndex": 1, )x"
                            R"("streamAddress": "fe80::101", "port": 5001, "scope": )" + link1 +
                            R"(, "version": 1, "infoText": "http://[fe80::101]/Box")"),
              std::string::npos) << json.out;
    EXPECT_NE(json.out.find(R"x("description": "Far(Out1)")x"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find(R"("description": "Box", "outputName": "", "outputIndex": 3)"), std::string::npos);
    EXPECT_EQ(json.out.find("Later"), std::string::npos);  // version 2 is not for this driver

    // The module's exported finder lists the same.
    const ToolRun exported = tool("--json --module " VELMORA_MODULE_PATH);
    ASSERT_EQ(exported.status, 0);
    EXPECT_EQ(exported.out, json.out);
    EXPECT_EQ(tool("--module /nonexistent/module.so").status, 2);

    const ToolRun everyVersion = tool("--json --max-version 0 -i " + link1);
    ASSERT_EQ(everyVersion.status, 0);
    EXPECT_NE(everyVersion.out.find("Later"), std::string::npos);
    EXPECT_EQ(everyVersion.out.find("Far"), std::string::npos);  // not on link1

    const ToolRun table = tool("");
    ASSERT_EQ(table.status, 0);
    EXPECT_NE(table.out.find("DESCRIPTION"), std::string::npos);
    EXPECT_NE(table.out.find("fe80::101,5001%" + link1), std::string::npos) << table.out;

    farm.stopAll();  // nothing found, and interfaces it cannot use
    const ToolRun none = tool("--json");
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "[]\n");
    EXPECT_EQ(tool("-i 1").status, 2);            // lo has no link-local address
    EXPECT_EQ(tool("-a not-an-address").status, 2);
}
