#include "viewer/ContentLauncher.h"

ContentLauncher::~ContentLauncher() = default;
