// The program-wide settings record, all zero at program start.
#include "settings/settings.h"

namespace velmora {

Settings settings;

}  // namespace velmora
