// vorlin-media: seals an update media (update.sum), checks a media as the launcher will read it,
// and converts a settings file written in UTF-8 to the launcher's code page 932. Each command
// returns the process exit status: 0 success (for check: no errors), 1 failure or errors found,
// 2 bad arguments.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/common/tool_output.h"

enum { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// The side of the menu's picture square in pixels: the MAINDIALOG client height (179 dialog
// units) at 96 DPI with the dialog's 9-point font. A larger picture is cut at the edges.
enum { kMenuPictureSide = 268 };

int RunSeal(const std::vector<std::string>& args);        // seal MEDIA
int RunCheck(const std::vector<std::string>& args);       // check [--strict] MEDIA
int RunConvertEnv(const std::vector<std::string>& args);  // convert-env SOURCE TARGET
int RunBuild(const std::vector<std::string>& args);       // build [-v] SOURCE OUTPUT

// A settings source read whole (refused when it is far too large for settings).
bool ReadSettingsSource(const std::string& path, std::string* bytes, std::string* error);
// Settings text in UTF-8 made code page 932 with CR LF line ends, as convert-env makes it: each
// problem and warning printed as SOURCE:LINE[:COLUMN]; false (*cp932 untouched) when there is a
// problem. *lines gets the count of lines, *problems the count of problems.
bool ConvertSettingsToCp932(const std::string& source, const std::string& utf8, std::string* cp932,
                            size_t* lines, int* problems);

// The fingerprint of a seal: the END digest of update.sum's text, which covers every line
// before it, as 16 hexadecimal digits; "" when the text is not a seal.
std::string SealFingerprint(const std::string& sumBytes);
std::string FormatSealFingerprint(uint64_t digest);
