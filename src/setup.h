// The setup record shared by the main thread (control panel), the display
// thread and the acquisition worker, the program's other globals, the
// millisecond clock, and the camera setup.
//
// Fields written by one thread and read by another are std::atomic (same
// width and meaning as the plain field); the frame descriptor `gf` and the
// bitmap slot `bmp` are handed over through frame_handover.h.
#pragma once

#include <X11/Xlib.h>
#include <pthread.h>

#include <atomic>
#include <mutex>
#include <string>

#include "zebapi.h"

struct SETUP {
    std::atomic<UINT> uiExposure;                           // exposure, µs
    std::atomic<UINT> uiMode;                               // sensor mode index
    std::atomic<float> fGain;                               // gain, dB
    CQGETFRAMEEX gf;                                        // newest frame; worker writes, guarded by frame_mutex
    CQGETFRAMEEX sgf;                                       // frame being shown; display thread only
    std::atomic<BOOL> bRun;                                 // the worker runs while true
    std::atomic<BOOL> bHaveData;                            // a frame exists since the last start or stop
    std::atomic<DWORD> dwROIx0, dwROIy0, dwROIcx, dwROIcy;  // region sent to the camera
    std::atomic<DWORD> dwNframes;                           // frames retrieved; worker
    DWORD dwPframes;                                        // dwNframes at the previous statistics tick; display
    std::atomic<DWORD> dwLframes;                           // frames lost; worker
    DWORD dwTime;                                           // statistics ticks; display
    DWORD dwCx, dwCy;                                       // full frame of the current mode; panel
    std::atomic<double> fFPS;                               // acquisition rate, frames/s
    std::atomic<double> fFPS_sum;                           // smoothed acquisition rate
    double fTPF;                                            // time per frame of the last tick, s; display
    DWORD pcn, pcn0;                                        // clock now and at the statistics mark, ms
    unsigned putsurface_time;                               // ms of redraw passes since the last tick; display
    unsigned frame_num;                                     // redraws since the last tick; display
    unsigned m_roi_x0, m_roi_y0, m_roi_cx, m_roi_cy;        // region as edited; panel
    std::atomic<BOOL> show;                                 // live view on
    std::atomic<BOOL> color;                                // colour output on
    CQGETBITMAP sbmp;                                       // bitmap being shown; display thread owns it
    CQGETBITMAP bmp;                                        // hand-off slot, full while bmp.bp is non-null
    std::atomic<BOOL> bTakeWB;                              // measure white balance on the next colour frame
    double Kr, Kg, Kb;                                      // white-balance gains; worker
    pthread_t videoThread;                                  // display thread, 0 when none since the reset

    // The rest of the record's fields: set by the reset, read by nothing.
    DWORD zoom;
    UINT dummy;
    BOOL bDrawImage;
    char szMode[32][256];
    int nGetFrame;
    DWORD dwHWN2;
    BOOL bWasRunning;
    DWORD dwSerial;
    DWORD x0, y0, cx, cy, px, py, pv;
    BOOL bSaveImage;
};

extern SETUP setup;
extern SETUP* const lps;

// Control handle of the camera; INVALID_HANDLE_VALUE when closed.
extern HANDLE hMV;
// Guards hMV: every use of the control handle (panel, poll) and its close
// (stopLive, shutdown) happens with this held, so it is closed exactly once
// and never used while being closed. Never hold it across a GTK call: the
// toolkit runs nested handlers that take it again.
extern std::mutex hMV_mutex;

extern bool has_derive;       // frame upload may use derived images; display thread
extern Display* x11_display;  // the display thread's X connection
// The worker's own X connection, on which it posts its notices: opened by the
// display thread before the worker starts and closed after it ended, so the
// worker never waits for the display thread's use of x11_display (a picture
// on its way to a slow X server).
extern Display* worker_display;
extern int max_width, max_height;  // video window limits, 0 = none

DWORD getcurms();
// Where getcurms reads the time: the time of day unless a test sets another
// source (null restores it). Any thread.
using MillisecondClock = DWORD (*)();
void set_millisecond_clock(MillisecondClock source);
void setT0();
double getT();
// Elapsed seconds between two clock readings, across a wrap of the clock.
double elapsed_seconds(DWORD from_ms, DWORD to_ms);

// Resets the record to its defaults and opens the control handle (hMV stays
// INVALID_HANDLE_VALUE when there is no camera). Only call it while no display
// thread or worker is running: bitmaps still held in the record are freed.
void setupCam();
// Why the last setupCam left hMV closed, for the person; "" when it opened.
extern std::string setup_failure;

// Closes the control handle if it is open, under hMV_mutex, so it is closed
// exactly once whichever thread gets there first. Any thread.
void close_control_handle();
