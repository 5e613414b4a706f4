// What an image does around the program's run. The real tool does nothing
// here; the simulated-EC build loads its EC and saves its flash.
#pragma once

// False stops the image before the program runs (it then returns
// EFI_LOAD_ERROR).
bool ImageStart();
void ImageExit();
