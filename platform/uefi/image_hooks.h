// What an image does around the program's run. The real tool does nothing
// here; the simulated-EC build loads its EC and saves its flash.
#pragma once

void ImageStart();
void ImageExit();
