// The control panel in-process on a private X server, driving its real
// widgets and checking what reaches the simulated camera.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "control_panel.h"
#include "display.h"
#include "notices.h"
#include "picture_options.h"
#include "setup.h"
#include "test_support.h"
#include "zebsim.h"

namespace {

class ControlPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        setvbuf(stdout, nullptr, _IONBF, 0);
        open_test_display();
        zebsim::reset();
        setupCam();
        ASSERT_NE(hMV, INVALID_HANDLE_VALUE);
        lps->show = 1;
        int argc = 0;
        gtk_init(&argc, nullptr);
        zebsim::clear_calls();
        build_control_panel(&cw);
    }

    void TearDown() override {
        stopLive();
        joinLive();
        stop_control_panel(&cw);
        stop_control_panel(&cw);  // a second stop does nothing
        gtk_widget_destroy(cw.window);
        setupCam();
        stopLive();
        set_env("ZEBSIM_GAIN_RANGE", nullptr);
        set_env("ZEBSIM_CAMERAS", nullptr);
        close_test_display();
    }

    std::vector<std::string> set_mode_calls() {
        std::vector<std::string> found;
        for (const auto& call : zebsim::calls())
            if (call.rfind("cqSetMode ", 0) == 0) found.push_back(call);
        return found;
    }

    GtkAdjustment* spin(GtkWidget* w) { return gtk_spin_button_get_adjustment(GTK_SPIN_BUTTON(w)); }
    GtkAdjustment* scale(GtkWidget* w) { return gtk_range_get_adjustment(GTK_RANGE(w)); }
    bool active(GtkWidget* w) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w)); }
    bool inconsistent(GtkWidget* w) { return gtk_toggle_button_get_inconsistent(GTK_TOGGLE_BUTTON(w)); }
    void click(GtkWidget* w) { gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), !active(w)); }

    void expect_range(GtkAdjustment* a, double value, double lower, double upper) {
        EXPECT_EQ(gtk_adjustment_get_value(a), value);
        EXPECT_EQ(gtk_adjustment_get_lower(a), lower);
        EXPECT_EQ(gtk_adjustment_get_upper(a), upper);
    }

    // Acquisition switched on after it was off: a new worker opens the
    // camera without complaint. The calls logged are the new worker's.
    void switch_on_again() {
        zebsim::clear_calls();
        testing::internal::CaptureStdout();
        click(cw.run);  // on
        ASSERT_TRUE(wait_until([] { return lps->bHaveData != 0; }));
        EXPECT_EQ(testing::internal::GetCapturedStdout().find("Couldn't"), std::string::npos);
    }

    ctrl_window cw{};
};

using Calls = std::vector<std::string>;

TEST_F(ControlPanelTest, BuildingAppliesTheFirstModeOnce) {
    EXPECT_EQ(set_mode_calls(), Calls{"cqSetMode 10000 0 0 0 1280 1024"});
    EXPECT_EQ(std::string(gtk_window_get_title(GTK_WINDOW(cw.window))), "Tolmirex control");
    EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(cw.mode)), 0);
    EXPECT_TRUE(active(cw.show));
    EXPECT_TRUE(active(cw.run));
    EXPECT_FALSE(active(cw.color));
    EXPECT_FALSE(gtk_widget_is_sensitive(cw.gpi1));
    EXPECT_EQ(gtk_adjustment_get_value(scale(cw.exp)), 10.0);
    expect_range(scale(cw.gain), 0, 0, 24);
}

TEST_F(ControlPanelTest, ChoosingAModeSetsRangesAndCommitsTheFullFrame) {
    zebsim::clear_calls();
    gtk_combo_box_set_active(GTK_COMBO_BOX(cw.mode), 2);  // 640 x 512
    expect_range(spin(cw.x0), 0, 0, 636);
    expect_range(spin(cw.y0), 0, 0, 510);
    expect_range(spin(cw.cx), 640, 4, 640);
    expect_range(spin(cw.cy), 512, 2, 512);
    // The explicit full frame, then the nested width and height handlers
    // commit the all-zero form.
    EXPECT_EQ(set_mode_calls(),
              (Calls{"cqSetMode 10000 2 0 0 640 512", "cqSetMode 10000 2 0 0 0 0", "cqSetMode 10000 2 0 0 0 0"}));

    zebsim::clear_calls();
    gtk_combo_box_set_active(GTK_COMBO_BOX(cw.mode), 0);
    expect_range(spin(cw.x0), 0, 0, 1276);
    expect_range(spin(cw.y0), 0, 0, 1022);
    expect_range(spin(cw.cx), 1280, 4, 1280);
    expect_range(spin(cw.cy), 1024, 2, 1024);
    EXPECT_EQ(set_mode_calls().front(), "cqSetMode 10000 0 0 0 1280 1024");
    EXPECT_EQ(set_mode_calls().back(), "cqSetMode 10000 0 0 0 0 0");
}

TEST_F(ControlPanelTest, RegionEditsAndTheWayBack) {
    zebsim::clear_calls();
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(cw.cx), 640);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(cw.x0), 16);
    EXPECT_EQ(set_mode_calls().back(), "cqSetMode 10000 0 16 0 640 1024");
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(cw.x0), 0);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(cw.cx), 1280);
    EXPECT_EQ(set_mode_calls().back(), "cqSetMode 10000 0 0 0 0 0");
    EXPECT_EQ(lps->dwROIcx, 0u);
}

TEST_F(ControlPanelTest, EditsClampAgainstThePartnerAndWriteBack) {
    // Full width: raising x0 to 8 clamps it back to 0, committed by the nested and the outer run.
    zebsim::clear_calls();
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(cw.x0), 8);
    EXPECT_EQ(gtk_adjustment_get_value(spin(cw.x0)), 0);
    EXPECT_EQ(lps->m_roi_x0, 0u);
    EXPECT_EQ(set_mode_calls(), (Calls{"cqSetMode 10000 0 0 0 0 0", "cqSetMode 10000 0 0 0 0 0"}));

    gtk_spin_button_set_value(GTK_SPIN_BUTTON(cw.cx), 200);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(cw.x0), 1000);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(cw.cx), 400);
    EXPECT_EQ(lps->m_roi_cx, 280u);
    EXPECT_EQ(gtk_adjustment_get_value(spin(cw.cx)), 280);
    EXPECT_EQ(set_mode_calls().back(), "cqSetMode 10000 0 1000 0 280 1024");
}

TEST_F(ControlPanelTest, ExposureIsSentOnlyWhenItChanges) {
    zebsim::clear_calls();
    gtk_range_set_value(GTK_RANGE(cw.exp), 25);
    EXPECT_EQ(lps->uiExposure, 25000u);
    EXPECT_EQ(set_mode_calls(), Calls{"cqSetMode 25000 0 0 0 1280 1024"});
    update_exposure(scale(cw.exp), nullptr);  // released again at 25
    EXPECT_EQ(set_mode_calls().size(), 1u);
}

TEST_F(ControlPanelTest, GainIsSentOnlyWhenItChanges) {
    zebsim::clear_calls();
    update_gain(scale(cw.gain), nullptr);  // equal to fGain
    EXPECT_TRUE(zebsim::calls().empty());
    gtk_range_set_value(GTK_RANGE(cw.gain), 6.5);
    EXPECT_EQ(zebsim::calls(), (Calls{"cqSetGainVal 6.5", "cqSetMode 10000 0 0 0 1280 1024"}));
    EXPECT_EQ(lps->fGain, 6.5f);
}

TEST_F(ControlPanelTest, GainOutsideTheCameraRangeIsBroughtInside) {
    // Above the maximum: the toolkit pulls the value down and the nested handler sends it.
    lps->fGain = 30.0f;
    zebsim::clear_calls();
    gtk_combo_box_set_active(GTK_COMBO_BOX(cw.mode), 1);
    EXPECT_EQ(lps->fGain, 24.0f);
    EXPECT_EQ(zebsim::count("cqSetGainVal"), 1u);
    EXPECT_NE(std::find(zebsim::calls().begin(), zebsim::calls().end(), "cqSetGainVal 24"), zebsim::calls().end());
}

TEST_F(ControlPanelTest, MinimumGainAboveTheCurrentGainRaisesIt) {
    set_env("ZEBSIM_GAIN_RANGE", "6:30");
    zebsim::reset();
    lps->fGain = 0.0f;
    zebsim::clear_calls();
    gtk_combo_box_set_active(GTK_COMBO_BOX(cw.mode), 1);
    EXPECT_EQ(lps->fGain, 6.0f);
    expect_range(scale(cw.gain), 6, 6, 30);
    EXPECT_EQ(zebsim::count("cqSetGainVal"), 0u);  // the nested handler finds it equal
}

TEST_F(ControlPanelTest, FailedGainQueryKeepsTheScaleRange) {
    zebsim::set_faults("gaininfo");
    gtk_combo_box_set_active(GTK_COMBO_BOX(cw.mode), 1);
    expect_range(scale(cw.gain), 0, 0, 24);
}

TEST_F(ControlPanelTest, FailedModeDescriptionChangesNothing) {
    zebsim::set_faults("modedesc");
    zebsim::clear_calls();
    testing::internal::CaptureStdout();
    gtk_combo_box_set_active(GTK_COMBO_BOX(cw.mode), 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Couldn't get mode description!\n");
    EXPECT_EQ(lps->uiMode, 2u);
    EXPECT_EQ(lps->dwCx, 1280u);
    EXPECT_TRUE(set_mode_calls().empty());
}

TEST_F(ControlPanelTest, PollReadsTheInputs) {
    zebsim::set_inputs(10);  // inputs 2 and 4
    lps->bRun = 1;
    zebsim::clear_calls();
    time_handler(&cw);
    EXPECT_EQ(zebsim::calls(), Calls{"cqGetGPIO -1 0"});
    EXPECT_EQ((std::vector<bool>{active(cw.gpi1), active(cw.gpi2), active(cw.gpi3), active(cw.gpi4)}),
              (std::vector<bool>{false, true, false, true}));

    lps->bRun = 0;
    zebsim::set_inputs(1);
    zebsim::clear_calls();
    time_handler(&cw);
    EXPECT_EQ(zebsim::calls(), (Calls{"cqGetGPIO 1 0", "cqGetGPIO 2 0", "cqGetGPIO 3 0", "cqGetGPIO 4 0"}));
    EXPECT_TRUE(active(cw.gpi1));
    EXPECT_FALSE(active(cw.gpi2));
}

TEST_F(ControlPanelTest, PollRequestsWhiteBalanceAndShowsWhatRuns) {
    lps->bTakeWB = 0;
    lps->bRun = 0;
    lps->show = 0;
    time_handler(&cw);
    EXPECT_EQ(lps->bTakeWB, 1);
    EXPECT_TRUE(inconsistent(cw.run));
    EXPECT_TRUE(inconsistent(cw.show));
    for (GtkWidget* w : {cw.mode, cw.boxx, cw.boxy, cw.exp, cw.gain}) EXPECT_FALSE(gtk_widget_get_sensitive(w));

    click(cw.show);  // off: the look clears and the state is written
    EXPECT_FALSE(inconsistent(cw.show));
    EXPECT_EQ(lps->show, 0);

    lps->bRun = 1;
    time_handler(&cw);
    EXPECT_FALSE(inconsistent(cw.run));
    EXPECT_TRUE(gtk_widget_get_sensitive(cw.mode));
}

TEST_F(ControlPanelTest, SwitchingAcquisitionOnAgainRestartsCleanly) {
    gtk_combo_box_set_active(GTK_COMBO_BOX(cw.mode), 2);
    startLive();
    ASSERT_TRUE(wait_until([] { return lps->bHaveData != 0; }));
    click(cw.run);  // off
    EXPECT_EQ(hMV, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(gtk_widget_get_sensitive(cw.mode));

    ASSERT_NO_FATAL_FAILURE(switch_on_again());
    EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(cw.mode)), 0);
    EXPECT_EQ(zebsim::count("cqGetGainInfo"), 0u);        // update_mode did not run
    EXPECT_EQ(zebsim::count("cqGetModeDescriptor"), 1u);  // mode 0's full frame for the region
    EXPECT_TRUE(gtk_widget_get_sensitive(cw.mode));
    EXPECT_NE(hMV, INVALID_HANDLE_VALUE);
}

TEST_F(ControlPanelTest, AfterARestartThePanelAndTheCameraAgree) {
    startLive();
    ASSERT_TRUE(wait_until([] { return lps->bHaveData != 0; }));
    gtk_combo_box_set_active(GTK_COMBO_BOX(cw.mode), 2);  // 640 x 512
    gtk_adjustment_set_value(spin(cw.cx), 320);
    gtk_adjustment_set_value(scale(cw.exp), 40);
    gtk_adjustment_set_value(scale(cw.gain), 12);
    click(cw.color);
    const DWORD frames = lps->dwNframes;  // colour frames, the handler's writes beside them
    ASSERT_TRUE(wait_until([&] { return lps->dwNframes > frames + 2; }));
    click(cw.run);  // off
    ASSERT_NO_FATAL_FAILURE(switch_on_again());

    // The new worker opened the camera with what the panel shows.
    EXPECT_EQ(set_mode_calls(), Calls{"cqSetMode 40000 0 0 0 0 0"});
    const Calls calls = zebsim::calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "cqSetGainVal 12"), 1);
    EXPECT_EQ(lps->color, 1);
    EXPECT_TRUE(active(cw.color));
    expect_range(spin(cw.cx), 1280, 4, 1280);
    expect_range(spin(cw.cy), 1024, 2, 1024);
    expect_range(spin(cw.x0), 0, 0, 1276);

    // The region is edited against mode 0's full frame again.
    zebsim::clear_calls();
    gtk_adjustment_set_value(spin(cw.cx), 400);
    EXPECT_EQ(set_mode_calls(), Calls{"cqSetMode 40000 0 0 0 400 1024"});
}

// The status area names the camera and its mode, and while frames stay away
// says why, as the video window does; once they come again it says nothing more.
TEST_F(ControlPanelTest, StatusAreaSaysWhichCameraAndWhatKeepsFramesAway) {
    const auto status = [&] {
        refresh_status_area(&cw.status);
        return std::string(gtk_label_get_text(GTK_LABEL(cw.status.label)));
    };
    EXPECT_EQ(status().rfind("Camera: Simulated camera · test scene on a RGGB colour sensor · 1280 x 1024", 0), 0u)
        << status();
    startLive();
    ASSERT_TRUE(wait_until([] { return lps->bHaveData != 0; }));
    zebsim::set_faults("acquire");
    const std::string stalled = "No frames from the camera for over a second: cqAcquireField returned 5";
    ASSERT_TRUE(wait_until([&] { return status().find(stalled) != std::string::npos; })) << status();
    EXPECT_EQ(picture_notice.get(), stalled);
    EXPECT_FALSE(gtk_widget_get_visible(cw.status.free_run));  // the simulated camera has no trigger

    zebsim::set_faults("");
    ASSERT_TRUE(wait_until([&] { return status().find(stalled) == std::string::npos; })) << status();
    EXPECT_EQ(picture_notice.get(), "");
}

TEST_F(ControlPanelTest, SwitchingOnWithoutACameraSaysSo) {
    click(cw.run);  // off
    set_env("ZEBSIM_CAMERAS", "0");
    zebsim::reset();
    testing::internal::CaptureStdout();
    click(cw.run);  // on
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Couldn't setup camera!\n");
    EXPECT_TRUE(active(cw.run));
    EXPECT_EQ(lps->bRun, 0);
}

TEST_F(ControlPanelTest, OffAndOnTwentyTimesLeavesOneVideoWindow) {
    Display* observer = XOpenDisplay(nullptr);
    startLive();
    click(cw.run);  // off: once it has ended, count the threads
    joinLive();
    const int threads = thread_count();
    click(cw.run);
    for (int i = 0; i < 20; ++i) {
        click(cw.run);
        click(cw.run);
        while (gtk_events_pending()) gtk_main_iteration();
    }
    ASSERT_TRUE(wait_until([] { return lps->bHaveData != 0; }));
    ASSERT_TRUE(wait_until([&] {
        return windows_named(observer, "Tolmirex").size() + windows_with_name_prefix(observer, "Video FPS").size() == 1;
    }));
    click(cw.run);
    joinLive();
    EXPECT_TRUE(wait_until([&] { return thread_count() == threads; }));
    XCloseDisplay(observer);
}

}  // namespace

// The picture tools show the live picture's histogram and figures, and their
// check button follows the clipped-pixel flag both ways.
TEST_F(ControlPanelTest, PictureToolsShowTheLivePicture) {
    picture_tools& tools = cw.picture;
    const auto label = [](GtkWidget* w) { return std::string(gtk_label_get_text(GTK_LABEL(w))); };
    startLive();
    ASSERT_TRUE(wait_until([&] {
        refresh_picture_tools(&tools);
        return tools.shown.channels == 1 && label(tools.focus_label).rfind("Focus: ", 0) == 0;
    }));
    uint64_t counted = 0;
    for (uint32_t n : tools.shown.bins[0]) counted += n;
    EXPECT_GT(counted, 1000u);
    EXPECT_EQ(label(tools.clip_label), clip_text(tools.shown.full_share, tools.shown.zero_share));
    EXPECT_GT(tools.shown.focus, 0);

    show_clipped_pixels = true;  // as the key c does
    refresh_picture_tools(&tools);
    EXPECT_TRUE(active(tools.show_clipped));
    click(tools.show_clipped);
    EXPECT_FALSE(show_clipped_pixels);
}
