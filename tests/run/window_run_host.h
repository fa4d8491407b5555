// The run inside the real window, as the program wires it.
#pragma once

#include "app/tfrm_main.h"
#include "app/window_run.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QTableView>

namespace runtest {
using namespace quillotone;
} // namespace runtest
