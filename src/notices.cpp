// See notices.h.
#include "notices.h"

SharedText acquisition_notice;
SharedText picture_notice;
