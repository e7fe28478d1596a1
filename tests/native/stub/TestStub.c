/* A stand-in for the saver program as a stub: a program that does nothing, with the saver's
   marker and resources of every kind the branding step keeps or replaces. */
int Entry(void) { return 0; }
