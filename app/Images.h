#pragma once
// The shared image list: pictures drawn by the program itself, addressed by the indices below.
#include <QIcon>

enum TImageIndex {
    imgOpen = 0,
    imgExtract = 1,
    imgEditVLM = 2,
    imgSetup = 3,
    imgFiles = 4,
    imgShortcuts = 5,
    imgRegistry = 6,
    imgRegKey = 7,
    imgRegKeySelected = 8,
    imgFileRow = 9,
    imgShortcutRow = 10,
    imgRegString = 11,
    imgRegNumber = 12,
    imgAbout = 13,
    imgExtractAll = 14,   // beyond the design's list: Extract All Files
    imgProvisioning = 15, // and the nodes beyond the design's four
    imgSignature = 16,
    imgPrograms = 17,
    imgWarning = 18, // the audit's findings, by severity; the Findings node shows the first
    imgNotice = 19,
    imgInfo = 20,
    imgAdded = 21, // a comparison's rows
    imgRemoved = 22,
    imgChanged = 23,
    imgCount = 24
};

// The 16 by 16 picture of an index; an empty icon outside the list.
[[nodiscard]] const QIcon& ImageListIcon(int index);
// The program's icon, 32 by 32 and smaller.
[[nodiscard]] QIcon ProgramIcon();
