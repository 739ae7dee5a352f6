#include "triang/triang.hpp"
