/*
 * zebapi.h - the camera library's operations and records, as Tolmirex uses them.
 *
 * The library itself (libzebapi.so) comes from the camera's maker; this tree
 * also builds a simulated camera with the same interface (camera/sim).  Every
 * call takes a HANDLE (INVALID_HANDLE_VALUE = no camera) and returns a
 * CQK_RETURN, 0 on success, unless its comment says otherwise.
 *
 * Records use the platform's natural layout (no packing), as the vendor's
 * build for that platform does; their sizes are checked below.
 *
 * Thread safety: every operation is thread-safe; several handles to the same
 * camera may be open and used from different threads at once.
 */
#ifndef ZEBAPI_H
#define ZEBAPI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t DWORD;
typedef int32_t BOOL;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef uint32_t UINT;
typedef int32_t LONG;

typedef void* HANDLE;
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

typedef int CQK_RETURN;

/* The results the program relies on. */
#define CQK_SUCCESS 0
/* cqWaitForField: the camera must be closed and opened again (lost, reset). */
#define CQK_WAIT_REOPEN_LOST 1
#define CQK_WAIT_REOPEN_RESET 45

/* cqSetExtention: deliver raw sensor data. */
#define EXT_RAW_EN 1046

typedef enum CQMOSAIC { CQM_NONE = 0, CQM_RGGB = 1, CQM_CMYG = 2, CQM_RGR = 3, CQM_BGGR = 4 } CQMOSAIC;

/* Bit of CQGETFRAMEEX.modeRDO: the frame data holds one byte per pixel. */
#define CQ_RDO_8BIT 0x8u

/* Frame descriptor, filled by cqRetrieveFrameEx / cqRetrieveFrameBayerEx. */
typedef struct CQGETFRAMEEX {
    void* bp; /* frame data, owned by the library */
    DWORD modeX0, modeCX, modeY0, modeCY;
    DWORD modeBinX, modeBinY;
    DWORD modeFPF, modeBPP, modeMTX, modeRDO;
    DWORD curX0, curCX, curY0, curCY;
    DWORD curBinX, curBinY;
    DWORD curBPP, curMTX, curFN;
    DWORD origX0, origY0;
} CQGETFRAMEEX;

typedef struct DARKSIDE {
    double blackDummy, blackDark;
    double blackLeftUp, blackLeftMid, blackLeftDown, blackRight;
    double noiseShift, noiseCCD;
    double black[3][4];
} DARKSIDE;

/* Colour bitmap: bp holds w x h pixels of 4 bytes (B, G, R, unused), rows packed. */
typedef struct CQGETBITMAP {
    BYTE* bp;
    LONG z;
    DWORD w, h, cx, cy;
    LONG x0, y0;
    DWORD fn, fpf, binX, binY, dwBPP;
    DARKSIDE darkSide;
} CQGETBITMAP;

typedef struct CQGETBITMAPOPT {
    BOOL bDoAll, bTranspose, bBW;
    DWORD dwBin, x0, y0, xc, yc;
} CQGETBITMAPOPT;

typedef struct CQFILTER {
    DWORD dwFilter;
    double rgbWhiteBal[3]; /* gains for red, green, blue */
    double rgbCorrection[4][4];
    double sharpStrength;
    double gammaY, gammaC;
    DWORD dwBPP;
} CQFILTER;

typedef struct LUT {
    WORD wVersion;
    WORD wLenght; /* the record's own size */
    BYTE cLut[4096];
    WORD wStart, wStop;
    BOOL bUseDefault;
} LUT;

typedef struct CQMODE {
    DWORD dwCx, dwCy; /* full frame of the mode, pixels */
    DWORD dwFields, dwBinX, dwBinY;
    CQMOSAIC cqMosaic;
    DWORD dwRDO;
} CQMODE;

/* Devices and handles.  "" names the default camera family. */
CQK_RETURN cqkGetNumberDevices(const char* name, DWORD* count);
CQK_RETURN cqkGetDevice(DWORD index, DWORD* id);
CQK_RETURN cqkInitialize(const char* name, DWORD id, HANDLE* handle); /* handle stays as it was on failure */
CQK_RETURN cqkUninitialize(HANDLE h);
CQK_RETURN cqInitializeHardware(HANDLE h);
CQK_RETURN cqApplyCameraProfile(HANDLE h);
CQK_RETURN cqSetExtention(HANDLE h, DWORD ext, DWORD value);

/* Configuration. */
CQK_RETURN cqSetGainVal(HANDLE h, float gain_db);
CQK_RETURN cqSetLUT(HANDLE h, LUT* lut);
CQK_RETURN cqSetMode(HANDLE h, UINT exposure_us, UINT mode, DWORD x0, DWORD y0, DWORD cx, DWORD cy);
BOOL cqIsSetModeComplete(HANDLE h); /* non-zero when the last mode change is done */
CQK_RETURN cqGetModeTiming(HANDLE h, float* tpfi0, float* tpfie, float* tpfr0, float* tpfre);
CQK_RETURN cqGetModeDescriptor(HANDLE h, UINT mode, CQMODE* desc);
CQK_RETURN cqGetModeDescriptorString(HANDLE h, UINT mode, char* text, DWORD size);
CQK_RETURN cqGetGainInfo(HANDLE h, float* min_db, float* max_db, DWORD* stops, DWORD* default_stop);
CQK_RETURN cqGetGPIO(HANDLE h, int port, DWORD reserved, DWORD* level);

/* Acquisition. */
CQK_RETURN cqStartAcquisition(HANDLE h);
CQK_RETURN cqStopAcquisition(HANDLE h);
CQK_RETURN cqWaitForField(HANDLE h, DWORD timeout_ms); /* 0 = data; 1 or 45 = reopen the camera */
CQK_RETURN cqIsFieldReady(HANDLE h);                   /* 0 while a field waits */
CQK_RETURN cqAcquireField(HANDLE h, void** data);
CQK_RETURN cqUpdateFrame(HANDLE h, void* data);
CQK_RETURN cqUpdateBayerFrame(HANDLE h, void* data);
CQK_RETURN cqRetrieveFrameEx(HANDLE h, CQGETFRAMEEX* frame);
CQK_RETURN cqRetrieveFrameBayerEx(HANDLE h, CQGETFRAMEEX* frame);
BOOL cqIsFrameComplete(HANDLE h); /* non-zero when the frame is complete */

/* Colour pipeline and bitmaps. */
CQK_RETURN cqGetMeans(HANDLE h, DWORD x0, DWORD y0, DWORD cx, DWORD cy, float means[4]);
CQK_RETURN cqSetupFilter(HANDLE h, CQFILTER* filter);
CQK_RETURN cqApplyDefaultColorCorrectionMatrix(HANDLE h);
CQK_RETURN cqSetupCE(HANDLE h, DWORD black, DWORD top);
CQK_RETURN cqProcessFrame(HANDLE h);
CQK_RETURN cqRetrieveBitmapAdv(HANDLE h, CQGETBITMAP* bitmap, CQGETBITMAPOPT* options);
CQK_RETURN cqFreeBitmap(HANDLE h, CQGETBITMAP* bitmap); /* h is 0; frees bp and nulls it */

/*
 * Extension of this tree's camera libraries (the simulator and the GenICam
 * library), beyond the maker's: the settings the camera runs, so that a panel
 * can show them after a change the camera refused or after the camera came
 * back from an outage.
 */
#define CQ_CAMERA_ANSWERING 0     /* the camera takes changes */
#define CQ_CAMERA_NOT_ANSWERING 1 /* a call found it silent: changes are refused */
#define CQ_CAMERA_LOST 2          /* changes are refused; the library reaches for it again and again */

typedef struct CQSETTINGS {
    DWORD dwState;   /* CQ_CAMERA_ANSWERING, CQ_CAMERA_NOT_ANSWERING or CQ_CAMERA_LOST */
    DWORD dwChanges; /* grows whenever the settings below changed without a call that succeeded saying so
                        (the camera came back, a change its caller gave up on took effect after all) */
    UINT uiExposure; /* us */
    UINT uiMode;
    DWORD dwROIx0, dwROIy0, dwROIcx, dwROIcy; /* the region in effect, as cqSetMode takes it: the full frame is 0, 0, 0, 0 */
    float fGain;                              /* dB */
} CQSETTINGS;

/* Answers from what the library knows, without waiting for the camera. */
CQK_RETURN cqGetSettings(HANDLE h, CQSETTINGS* settings);

/*
 * Extension: what the library knows of the camera and of what stands in the
 * way of its pictures, for the person at the screen.  Texts are UTF-8 and
 * always end in a NUL; a library that cannot tell something leaves it "".
 */
#define CQ_CAN_FREE_RUN 0x1u /* cqSetFreeRun would switch the camera from its trigger to free run */

typedef struct CQCONDITION {
    char szLibrary[48];  /* which library: "Simulated camera", "GenICam (Aravis 0.8.26)" */
    char szCamera[192];  /* the camera: model, serial, address, as far as the library knows them */
    char szStream[192];  /* the library's own facts about the stream: packet size, what bounds the rate */
    char szProblem[640]; /* what is wrong and what to do about it, in plain sentences; "" while nothing is */
    DWORD dwProblems;    /* grows with each problem the library finds, so a caller can tell each once */
    DWORD dwIncomplete;  /* frames that arrived incomplete since the camera was opened */
    DWORD dwActions;     /* what the library offers to mend: CQ_CAN_FREE_RUN */
} CQCONDITION;

/* Answers from what the library knows, without waiting for the camera.  With
 * INVALID_HANDLE_VALUE: why the last cqkInitialize failed, where the library
 * can tell (else it fails). */
CQK_RETURN cqGetCondition(HANDLE h, CQCONDITION* condition);
/* Switches the camera's frame and acquisition triggers off, so that it runs
 * free; only when cqGetCondition offers CQ_CAN_FREE_RUN. */
CQK_RETURN cqSetFreeRun(HANDLE h);

#ifdef __cplusplus
}
#endif

/* Layout checks: the sizes of a vendor build for the pointer width at hand. */
#if defined(__cplusplus)
#define ZEBAPI_STATIC_ASSERT static_assert
#else
#define ZEBAPI_STATIC_ASSERT _Static_assert
#endif
#if UINTPTR_MAX == 0xFFFFFFFFu
ZEBAPI_STATIC_ASSERT(sizeof(CQGETFRAMEEX) == 88, "CQGETFRAMEEX layout");
ZEBAPI_STATIC_ASSERT(sizeof(CQGETBITMAP) == 212, "CQGETBITMAP layout");
ZEBAPI_STATIC_ASSERT(sizeof(CQFILTER) == 184, "CQFILTER layout");
#else
ZEBAPI_STATIC_ASSERT(sizeof(CQGETFRAMEEX) == 96, "CQGETFRAMEEX layout");
ZEBAPI_STATIC_ASSERT(sizeof(CQGETBITMAP) == 216, "CQGETBITMAP layout");
ZEBAPI_STATIC_ASSERT(sizeof(CQFILTER) == 192, "CQFILTER layout");
ZEBAPI_STATIC_ASSERT(offsetof(CQGETFRAMEEX, modeRDO) == 44, "CQGETFRAMEEX.modeRDO");
ZEBAPI_STATIC_ASSERT(offsetof(CQGETFRAMEEX, curCX) == 52, "CQGETFRAMEEX.curCX");
ZEBAPI_STATIC_ASSERT(offsetof(CQGETFRAMEEX, curCY) == 60, "CQGETFRAMEEX.curCY");
ZEBAPI_STATIC_ASSERT(offsetof(CQGETFRAMEEX, curBPP) == 72, "CQGETFRAMEEX.curBPP");
ZEBAPI_STATIC_ASSERT(offsetof(CQGETFRAMEEX, curMTX) == 76, "CQGETFRAMEEX.curMTX");
ZEBAPI_STATIC_ASSERT(offsetof(CQGETFRAMEEX, curFN) == 80, "CQGETFRAMEEX.curFN");
ZEBAPI_STATIC_ASSERT(offsetof(CQGETBITMAP, w) == 12, "CQGETBITMAP.w");
ZEBAPI_STATIC_ASSERT(offsetof(CQGETBITMAP, h) == 16, "CQGETBITMAP.h");
#endif
ZEBAPI_STATIC_ASSERT(sizeof(DARKSIDE) == 160, "DARKSIDE layout");
ZEBAPI_STATIC_ASSERT(sizeof(LUT) == 4108, "LUT layout");
ZEBAPI_STATIC_ASSERT(sizeof(CQGETBITMAPOPT) == 32, "CQGETBITMAPOPT layout");
ZEBAPI_STATIC_ASSERT(sizeof(CQMODE) == 28, "CQMODE layout");
ZEBAPI_STATIC_ASSERT(sizeof(CQSETTINGS) == 36, "CQSETTINGS layout");

#endif /* ZEBAPI_H */
