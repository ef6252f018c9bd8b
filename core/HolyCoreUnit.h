// The engine's operations, gathered for the engine's own use: entry lists,
// parser, log, selection, tree copy, purge and session. Each group has its
// own header and source file.
#pragma once

#include "core/CommandLine.h"
#include "core/CopyRec.h"
#include "core/EntryList.h"
#include "core/Log.h"
#include "core/Parser.h"
#include "core/Purge.h"
#include "core/Selection.h"
#include "core/Session.h"
#include "core/Text.h"
#include "core/TreeCopy.h"
#include "core/VeltrixApi.h"
