#include "app/WinCEMain.h"
void TfrmWinCEMain::mnuExtractAllClick() {}
void TfrmWinCEMain::ExtractAll() {}
void TfrmWinCEMain::mnuExportRegistryClick() {}
void TfrmWinCEMain::ExportRegistry() {}
