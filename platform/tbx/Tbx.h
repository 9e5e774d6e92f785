// The whole utility library in one include.
#pragma once

#include "tbx/AppError.h"
#include "tbx/FileUtil.h"
#include "tbx/LogMessage.h"
#include "tbx/MutexUtil.h"
#include "tbx/ProcessUtil.h"
#include "tbx/SingleApp.h"
#include "tbx/StringUtil.h"
#include "tbx/SystemInfo.h"
#include "tbx/ThreadUtil.h"
#include "tbx/TimeUtil.h"
#include "tbx/TimerEvent.h"
#include "tbx/ToolUtil.h"
