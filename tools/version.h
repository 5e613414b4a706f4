// The version of this build (`git describe --always --dirty` at build time,
// "unknown" outside a git checkout). The source is written by the build.
#pragma once

const char* TarnwickVersion();
