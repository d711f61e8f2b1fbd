#pragma once
// The bundled sample setup: a "CE4+" setup with files in several folders, a setup DLL,
// shortcuts and registry values under all three roots. Tests and the screenshot use it.
#include "tests/support/DescriptorWriter.h"

#include <string>

[[nodiscard]] DescriptorPlan SampleSetupPlan();
[[nodiscard]] SetupCabinetContents SampleSetupContents();
void WriteSampleSetup(const std::string& path);
