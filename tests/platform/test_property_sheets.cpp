#include "fixtures/ui_fixture.h"
