// The subcommands of tarvi-cli, one function each: the words after the verb in, the exit status
// out (0 done, 1 device error, 2 usage, 3 port error). A usage mistake in the words is thrown as
// EUsage before anything is sent; every other failure is reported by the command itself.
#pragma once

#include <span>
#include <string_view>

using TWords = std::span<const std::string_view>;

int RunPorts(TWords words);
int RunScan(TWords words);
int RunRead(TWords words);
int RunSwitch(TWords words, bool on);
int RunWatch(TWords words);
int RunSet(TWords words);
int RunApply(TWords words);

// The whole program: argv in, exit status out.
int RunCli(int argc, char** argv);
