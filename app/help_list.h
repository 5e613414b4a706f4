// The option list that /ah prints.
#pragma once

void PrintHelpList();
