// The framework's internet classes in one include: session, connection,
// request file, URL parser and their exception.
#pragma once

#include "inet_exception.h"
#include "inet_file.h"
#include "inet_session.h"
#include "parse_url.h"
