#include "platform/first_volume.h"

#include "platform/format.h"

FsFile* FsOpenFirstVolumeRoot() {
  FsVolume* volume = nullptr;
  if (EfiIsError(FsLocateFirstVolume(&volume))) {
    Print(u"Can't create file protocal (Err. No. : %d)\n", kFileJobErrorNumber);
    return nullptr;
  }
  FsFile* root = nullptr;
  if (EfiIsError(FsOpenVolume(volume, &root))) {
    Print(u"Can't OpenVolume (Err. No. : %d)\n", kFileJobErrorNumber);
    return nullptr;
  }
  return root;
}
