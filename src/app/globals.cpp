#include "app/app.h"

HINSTANCE appInstance;
char messageBuffer[MESSAGE_BUFFER_SIZE];
UINT confirmMessageId;
