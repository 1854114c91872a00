#pragma once

// Qt's warnings go to standard error as usual, but for the few that a headless start always
// gives and that say nothing wrong (no runtime directory, no window manager hints).
void filtreMessagesQt();
