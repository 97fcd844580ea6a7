// Headers most files parse: compiled once for the libraries and once for the tests
// (KELVARA_PCH, cmake/Kelvara.cmake), which saves about 2 of the 7 CPU seconds a test file takes.
// Only what the include path offers is taken.
// Qt's keywords (slots, signals, emit) are thereby macros in every file of a Qt target: never
// use them as names.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>
#if __has_include(<QString>)
#include <QByteArray>
#include <QObject>
#include <QString>
#endif
#if __has_include(<QImage>)
#include <QImage>
#include <QPainter>
#endif
#if __has_include(<QWidget>)
#include <QWidget>
#endif
#ifdef KV_PCH_TESTS
#include <gtest/gtest.h>
#endif
