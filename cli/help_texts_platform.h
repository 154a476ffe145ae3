// The pieces that help_texts_<system>.cpp gives HelpText (help_texts.h): catalogue ids, but for
// the plan's example port, which is no text to translate.
#pragma once

extern const char kPortForms[];
extern const char kPlanPort[];
extern const char kExitStatusShown[];
