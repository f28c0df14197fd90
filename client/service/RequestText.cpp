#include "client/service/RequestText.h"
