// Lumetra's resource table: strings, accelerators, menus, dialog templates and
// the embedded bitmaps, icon and PNG images.
#pragma once

#include "platform/resources.h"

const platform::ResourceModule* LumetraResources();
