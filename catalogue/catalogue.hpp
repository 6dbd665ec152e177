// The item catalogue: its files, its items by code, and item numbers.
#pragma once

#include "catalogue/catalogue_file.hpp"
#include "catalogue/item_access.hpp"
#include "catalogue/item_code.hpp"
