// mosaic.h - the colour filter mosaic as the camera libraries see it inside:
// the one mosaic type of the colour pipeline, the simulator and the GenICam
// library. Constants only: any thread.
#pragma once

namespace colour {

// Mosaic as seen from the image's top-left pixel.
enum class Mosaic { rggb, bggr, mono };

}  // namespace colour
