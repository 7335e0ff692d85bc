#include "device/Record.h"
#  include "mainwindow/MainWindow.h"
#include "sim/Sim.h"
