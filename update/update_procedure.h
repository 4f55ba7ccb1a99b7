// The whole update, from the opening question to the closing message.
#pragma once

// 0: the update completed (Updated = 1, closing message shown); 1: declined, or a copy stage
// failed; -1: no usable install folder. Every outcome has been reported in a box.
int RunUpdate();
