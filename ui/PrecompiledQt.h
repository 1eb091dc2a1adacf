// The Qt headers most windows include, precompiled once for tamsel_ui and once for the
// window tests: parsing them was about a third of each such file's compile. Every file
// still includes what it uses, so a build without precompiled headers works the same.
#pragma once
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <functional>
#include <memory>
#include <string>
#include <vector>
