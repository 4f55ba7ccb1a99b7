// What an update copies from its media (see update_list.h).
#include "update/core/update_list.h"

#include <string.h>

#include "resfs/cp932_lower.h"
#include "settings/setting_rules.h"

const char* const kUpdateFileList[9] = {
    "update.arc", "fastdata.arc", "data.arc",   "slowdata.arc", "voice.arc",
    "voice2.arc", "voice3.arc",   "update.txt", "|help\\*.*",
};

const char kUpdateHelpFolder[] = "help";

void MakeMediaExeName(const char* exeName, char mediaName[kUpdateNameBytes]) {
    size_t n = FitCp932Text(exeName, kUpdateNameBytes - 1);
    memcpy(mediaName, exeName, n);
    mediaName[n] = '\0';
    LowerCp932(mediaName);
    for (size_t i = 0; mediaName[i] != '\0'; i++) {
        if (strncmp(mediaName + i, ".exe", 4) == 0) {
            strcpy(mediaName + i, ".bin");
            return;
        }
        if (IsCp932LeadByte((unsigned char)mediaName[i]) && mediaName[i + 1] != '\0') i++;
    }
}
