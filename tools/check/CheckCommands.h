#pragma once
// The subcommands of wrenstall-check. Each gets the arguments after its name
// and returns the process exit code.
#include <string>
#include <vector>

using CheckArguments = std::vector<std::wstring>;

int RunConfigureCommand(const CheckArguments& arguments);
int RunDataCommand(const CheckArguments& arguments);
int RunFetchCommand(const CheckArguments& arguments);
int RunVerifyCommand(const CheckArguments& arguments);
int RunUnpackCommand(const CheckArguments& arguments);
int RunPackageCommand(const CheckArguments& arguments);
int RunVersionCommand(const CheckArguments& arguments);
int RunInstallCommand(const CheckArguments& arguments);
