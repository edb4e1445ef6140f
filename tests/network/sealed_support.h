// Helpers of the tests that run inside the sealed test network
// (tests/network/sealed_run.py): which scenario is running, message boxes
// caught and closed, report sections captured, route stand-in scripts.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalog/server_catalog.h"
#include "test_support.h"

namespace sealed {

// The scenario sealed_run.py started, "" outside the sealed network.
std::string CurrentScenario();

// Base of every test suite here: fails at once when the running scenario is
// not the one the suite was written for.
class ScenarioTest : public ::testing::Test {
protected:
    explicit ScenarioTest(const char* scenario) : scenario_(scenario) {}
    void SetUp() override;

private:
    const char* scenario_;
};

struct CaughtBox {
    std::string caption;
    std::string text;
};

// While it exists, every message box that this thread opens is recorded and
// closed with OK as soon as it is activated (a CBT hook on the thread).
class MessageBoxCatcher {
public:
    MessageBoxCatcher();
    ~MessageBoxCatcher();
    const std::vector<CaughtBox>& boxes() const { return boxes_; }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    HHOOK hook_;
    std::vector<CaughtBox> boxes_;
};

// Runs a section writer on a fresh report and returns what it wrote.
template <class Writer>
std::string Section(Writer writer) {
    testing_support::ReportFile report;
    writer(report.sink());
    return report.Contents();
}

// A server entry for lists made up by a test.
ServerEntry Entry(const char* label, int region, const char* host, int port, unsigned checks);

// Writes the route stand-in's script and points DIAGNOVA_ROUTE_SCRIPT at it
// for as long as the object lives.
class RouteScript {
public:
    explicit RouteScript(const std::string& lines);
    ~RouteScript();

private:
    testing_support::TempDir dir_;
};

// What the stand-in prints for "lines 1".
std::string StandInOutput(const std::string& address);

// "\r\n", rule, heading, rule, the given output.
std::string RouteBlock(const std::string& label, const std::string& region, const std::string& address,
                       const std::string& output);

}  // namespace sealed
