// LurvaResources.h: identifiers of the Windows module's resources, shared by
// the resource script and the code that loads them.
#pragma once

#define IDS_DESCRIPTION 1  // fixed: the screen saver list reads string 1
#define IDI_LURVA 100      // the program icon (the lowest icon id is the file's icon)
