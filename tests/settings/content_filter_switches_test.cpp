// The content filter follows the settings objects once they are its source.
// This program links the settings, so they were built (in this test prefix)
// when it loaded.
#include "proxy/content_filter.h"
#include "proxy/filter_switches.h"
#include "settings/content_filter_switches.h"
#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

std::string Filter(const std::string& chunk)
{
    CContentFilter filter(chunk.data(), static_cast<int>(chunk.size()));
    EXPECT_EQ(filter.FilterBody(), 1);
    return filter.GetFiltered().str();
}

} // namespace

TEST(ContentFilterSwitchesTest, FilterFollowsTheSavedSettings)
{
    // Values set directly must no longer count once the settings are the source.
    SetFilterSwitches(0, 0);
    UseSettingsForContentFilter();

    g_regEnableJS.Set(1);
    g_regEnableActiveX.Set(0);
    EXPECT_EQ(Filter("<script>x</script><object>"), "<noscript>x</noscript> <object>");

    g_regEnableJS.Set(0);
    g_regEnableActiveX.Set(1);
    EXPECT_EQ(Filter("<script><object></object>"), "<script><noobj ></noobj> ");

    // Anything but exactly 1 leaves the tags alone.
    g_regEnableJS.Set(2);
    g_regEnableActiveX.Set(0);
    EXPECT_EQ(Filter("<script>"), "<script>");
}

TEST(ContentFilterSwitchesTest, RelayThreadsSeeASaveFromTheUserInterfaceThread)
{
    UseSettingsForContentFilter();
    g_regEnableJS.Set(0);
    std::atomic<bool> sawOn{false};
    std::thread relay([&] {
        for (int i = 0; i < 2000 && !sawOn; ++i) {
            if (Filter("<script") == "<noscript") sawOn = true;
            std::this_thread::yield();
        }
    });
    g_regEnableJS.Set(1);
    relay.join();
    EXPECT_TRUE(sawOn.load());
    g_regEnableJS.Set(0);
}
