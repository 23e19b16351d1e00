#ifndef KELCPP_SIM_TESTPICTURE_H
#define KELCPP_SIM_TESTPICTURE_H

#include "../stream.h"

namespace KelCPP {
namespace Sim {

// Fills `frame.data` with the simulated camera's test picture for the
// frame's id, width and height (Mono8): diagonal bars that move on by 8
// pixels each frame, and the id in large digits, white on black, in the
// top left corner. The picture depends on nothing else, so that a viewer
// sees at a glance that a frame is new, and which one.
void DrawTestPicture(Frame& frame);

} // namespace Sim
} // namespace KelCPP

#endif
