#include "services/auto_reboot.hpp"
