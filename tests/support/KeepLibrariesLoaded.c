/* SDL_Quit unloads libGL, the Mesa driver and the X libraries. What they
 * leak is then reported from unmapped addresses that the leak suppressions
 * (tests/support/lsan.supp) cannot name. Keeping every library loaded keeps
 * those reports attributable, so only Mesa's and X's own leaks are
 * suppressed. Linked into the GL tests and preloaded into the game
 * binary they run. */
int dlclose(void* handle)
{
    (void)handle;
    return 0;
}
