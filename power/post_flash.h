// The post-flash power action.
#pragma once

// Leaves flash mode and powers the machine down as the options ask; returns
// only when the machine stays up.
void RunPostFlashAction();
