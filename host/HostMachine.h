// The machine the host runs the worker on, described by the installation tree it loads the worker from:
// the tree's registry file, its bin folder on the library search path (as the product's installer puts
// it), drive C: beside the tree when the tree brings one, and the session cache component of its bin folder
// registered under its class id.
#pragma once

#include <string>

// strModulePath: the POSIX path of the worker, in the tree's bin folder.
void ConfigureHostMachine(const std::string& strModulePath);
