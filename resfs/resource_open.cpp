// Resource open (see resource_open.h).
#include "resfs/resource_open.h"

#include "ui/message_box.h"

FILE* OpenResourceFile(const char* name, const char* mode) { return fopen(name, mode); }

FILE* OpenResourceFileOrRetry(const char* name, const char* mode) {
    for (;;) {
        FILE* file = OpenResourceFile(name, mode);
        if (file) return file;
        ShowFatalMessage("Ffopen : ファイル[%s]の読み込みで失敗しました", name);
    }
}
