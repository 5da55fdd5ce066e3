#include "viewer/content/ContentLauncher.h"

ContentLauncher::~ContentLauncher() = default;
