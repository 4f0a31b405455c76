#include "main/kestmn.hpp"

int main() { return kest::kestmn(); }
