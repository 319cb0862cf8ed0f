// The viewer's control panel in-process on the GenICam library, against
// Aravis's fake GigE Vision camera at 127.0.0.1 in a private network
// namespace: what the panel shows and what the camera runs when settings are
// changed while the camera is gone.  Test thread only (the library runs its
// own threads).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "control_panel.h"
#include "display.h"
#include "fake_camera.h"
#include "setup.h"
#include "test_support.h"

namespace {

using genicam_test::FakeCamera;

// The camera's own registers, read past the library with Aravis's tool in one
// go (each run waits seconds for the control the library holds).
std::string camera_registers(const char* features) {
    const std::string command = std::string("arv-tool-0.8 -a 127.0.0.1 control ") + features + " 2>/dev/null";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char line[256];
        while (fgets(line, sizeof line, pipe)) output += line;
        pclose(pipe);
    }
    return output;
}

CQSETTINGS camera_settings() {
    CQSETTINGS runs{};
    std::lock_guard<std::mutex> lock(hMV_mutex);
    cqGetSettings(hMV, &runs);
    return runs;
}

class GenicamPanel : public ::testing::Test {
protected:
    void SetUp() override {
        if (!genicam_test::in_private_network()) GTEST_SKIP() << "needs a private network namespace";
        ASSERT_TRUE(fake_.start());
        setvbuf(stdout, nullptr, _IONBF, 0);
        open_test_display();
        setupCam();
        ASSERT_NE(hMV, INVALID_HANDLE_VALUE);
        lps->show = 1;
        int argc = 0;
        gtk_init(&argc, nullptr);
        build_control_panel(&cw);
    }
    void TearDown() override {
        if (!cw.window) return;
        stop_control_panel(&cw);
        gtk_widget_destroy(cw.window);
        stopLive();
        joinLive();
        close_test_display();
    }

    bool active(GtkWidget* w) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w)); }
    void click(GtkWidget* w) { gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), !active(w)); }
    GtkAdjustment* spin(GtkWidget* w) { return gtk_spin_button_get_adjustment(GTK_SPIN_BUTTON(w)); }
    GtkAdjustment* scale(GtkWidget* w) { return gtk_range_get_adjustment(GTK_RANGE(w)); }
    int mode() { return gtk_combo_box_get_active(GTK_COMBO_BOX(cw.mode)); }

    // The panel shows exposure 20 ms, gain 2, mode 0 at its full 640 x 480.
    void expect_panel_shows_what_ran() {
        EXPECT_EQ(gtk_adjustment_get_value(scale(cw.exp)), 20);
        EXPECT_EQ(gtk_adjustment_get_value(scale(cw.gain)), 2);
        EXPECT_EQ(mode(), 0);
        EXPECT_EQ(gtk_adjustment_get_value(spin(cw.cx)), 640);
        EXPECT_EQ(gtk_adjustment_get_upper(spin(cw.cx)), 640);
        EXPECT_EQ(lps->uiExposure, 20000u);
        EXPECT_EQ(lps->fGain, 2.0f);
        EXPECT_EQ(lps->uiMode, 0u);
        EXPECT_EQ(lps->dwROIcx, 0u);  // the full frame, sent as all zero
    }

    FakeCamera fake_{GENICAM_TEST_XML};
    ctrl_window cw{};
};

// A change made at once after the camera died (before the library knew) and
// ones made once it was known lost: each is named, none is shown, and none
// reaches the camera when it comes back, not even with the next change.
TEST_F(GenicamPanel, ChangesRefusedDuringAnOutageAreNeitherShownNorAppliedLater) {
    gtk_adjustment_set_value(scale(cw.exp), 20);
    gtk_adjustment_set_value(scale(cw.gain), 2);
    testing::internal::CaptureStderr();

    fake_.kill_now();
    gtk_adjustment_set_value(scale(cw.exp), 500);  // early: the library still takes the camera for there
    EXPECT_EQ(gtk_adjustment_get_value(scale(cw.exp)), 20);
    EXPECT_TRUE(wait_until([] { return camera_settings().dwState == CQ_CAMERA_LOST; }, 15.0));
    gtk_adjustment_set_value(scale(cw.gain), 5);  // late
    gtk_combo_box_set_active(GTK_COMBO_BOX(cw.mode), 1);
    gtk_adjustment_set_value(spin(cw.cx), 600);
    expect_panel_shows_what_ran();

    ASSERT_TRUE(fake_.start());
    ASSERT_TRUE(wait_until([] { return camera_settings().dwState == CQ_CAMERA_ANSWERING; }, 15.0));
    time_handler(&cw);
    expect_panel_shows_what_ran();
    gtk_adjustment_set_value(scale(cw.gain), 3);  // taken, and nothing refused with it
    const std::string registers = camera_registers("ExposureTimeAbs GainRaw Width BinningHorizontal");
    for (const char* value : {"ExposureTimeAbs = 20000", "GainRaw = 3 ", "Width = 640 ", "BinningHorizontal = 1 "})
        EXPECT_NE(registers.find(value), std::string::npos) << value << "\n" << registers;

    const std::string messages = testing::internal::GetCapturedStderr();
    for (const char* setting : {"exposure", "gain", "mode", "region"})
        EXPECT_EQ(occurrences(messages, std::string("the ") + setting + " change was not applied"), 1u)
            << setting << "\n"
            << messages;
}

// Acquisition switched off and on while the camera is gone: the camera
// opens at once, waiting, and the picture comes back with the camera without
// another click.
TEST_F(GenicamPanel, AcquisitionOffAndOnDuringAnOutageComesBackByItself) {
    startLive();
    ASSERT_TRUE(wait_until([] { return lps->bHaveData != 0; }));
    fake_.kill_now();
    ASSERT_TRUE(wait_until([] { return camera_settings().dwState == CQ_CAMERA_LOST; }, 15.0));
    click(cw.run);  // off
    joinLive();     // the old worker and display thread have ended
    testing::internal::CaptureStdout();
    const auto clicked = std::chrono::steady_clock::now();
    click(cw.run);  // on
    const double blocked = seconds_since(clicked);
    EXPECT_LT(blocked, 1.5) << "the panel waited for the camera";  // for the open's 3 s time-out
    EXPECT_EQ(testing::internal::GetCapturedStdout().find("Couldn't setup camera!"), std::string::npos);
    ASSERT_NE(hMV, INVALID_HANDLE_VALUE);
    EXPECT_EQ(mode(), 0);  // the modes it knew

    const unsigned long before = lps->dwNframes;
    ASSERT_TRUE(fake_.start());
    EXPECT_TRUE(wait_until([&] { return lps->bRun && lps->dwNframes > before + 5; }, 15.0))
        << "frames " << lps->dwNframes << ", running " << lps->bRun;
}

// The camera comes back as another one, without the modes the panel listed:
// the panel lists the camera's modes as they are now, on the one that runs.
TEST_F(GenicamPanel, ACameraBackWithOtherModesIsListedAfresh) {
    fake_.kill_now();
    ASSERT_TRUE(wait_until([] { return camera_settings().dwState == CQ_CAMERA_LOST; }, 15.0));
    genicam_test::FormatCamera other(GENICAM_FORMAT_CAMERA, "Mono12p", "127.0.0.1", 0, "FMT02");
    ASSERT_TRUE(other.start());
    ASSERT_TRUE(wait_until([] { return camera_settings().dwState == CQ_CAMERA_ANSWERING; }, 15.0));
    time_handler(&cw);
    GtkTreeModel* listed = gtk_combo_box_get_model(GTK_COMBO_BOX(cw.mode));
    EXPECT_EQ(gtk_tree_model_iter_n_children(listed, nullptr), 3);  // Mono12p at three binnings
    gchar* text = gtk_combo_box_get_active_text(GTK_COMBO_BOX(cw.mode));
    EXPECT_STREQ(text, "Mono12p, 640 x 480");
    g_free(text);
    EXPECT_EQ(lps->uiMode, 0u);
}

}  // namespace
