// Simple file system and file protocols on the simulated machine.
#include "platform/platform.h"
#include "sim/host_state.h"

EfiStatus FsLocateFirstVolume(FsVolume**) { return kEfiUnsupported; }
EfiStatus FsLocateVolumeHandles(size_t*, FsHandle**) { return kEfiUnsupported; }
EfiStatus FsHandleVolume(FsHandle, FsVolume**) { return kEfiUnsupported; }
EfiStatus FsOpenVolume(FsVolume*, FsFile**) { return kEfiUnsupported; }
EfiStatus FsOpen(FsFile*, FsFile**, const Char16*, uint64_t, uint64_t) { return kEfiUnsupported; }
EfiStatus FsClose(FsFile*) { return kEfiUnsupported; }
EfiStatus FsDelete(FsFile*) { return kEfiUnsupported; }
EfiStatus FsRead(FsFile*, size_t*, void*) { return kEfiUnsupported; }
EfiStatus FsWrite(FsFile*, size_t*, const void*) { return kEfiUnsupported; }
EfiStatus FsSetPosition(FsFile*, uint64_t) { return kEfiUnsupported; }
EfiStatus FsGetInfo(FsFile*, size_t*, void*) { return kEfiUnsupported; }
EfiStatus FsSetFileSize(FsFile*, uint64_t) { return kEfiUnsupported; }
