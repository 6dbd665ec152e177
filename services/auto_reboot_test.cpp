#include "services/auto_reboot.hpp"

#include <gtest/gtest.h>
