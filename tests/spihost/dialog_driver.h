// The test host's driver of ConfigurationDlg and its registry helpers.
#pragma once

#include <string>
#include <vector>

// Calls ConfigurationDlg(nullptr, function) while a second thread plays the
// steps (see dialog_driver.cpp) against the window it opens; then prints
// the result and the module's registry values.
int DriveConfigurationDialog(const std::wstring &pluginPath, int function, const std::vector<std::wstring> &steps);

// NAME=VALUE sets a value of the module's key (REF_FILE as text, the widths
// as DWORDs), NAME= deletes it; then prints the values.
int SetRegistryValues(const std::vector<std::wstring> &assignments);
