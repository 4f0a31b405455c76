#include "kestmn.hpp"

int main() { return kest::kestmn(); }
