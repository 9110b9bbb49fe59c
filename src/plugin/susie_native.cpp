// The native plug-in library's one source of its own: everything else is
// the module (plotmira_core, linked whole), of which the export list keeps
// the plug-in's calls and the memory blocks'.
