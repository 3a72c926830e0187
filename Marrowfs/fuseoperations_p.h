// The table of low-level request handlers the volume's session serves.
#pragma once

#define FUSE_USE_VERSION 314
#include <fuse_lowlevel.h>

const fuse_lowlevel_ops &marrowfsOperations();
